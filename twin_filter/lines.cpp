/* The lines a scan has read, and the twins among them found from there. */
#include "lines.h"

/* Before a scan, the line before its start: its value, outside the scan. */
void
scan_start(uint64_t *vals, uint32_t *ends, uint64_t before)
{
	vals[-1] = before;
	ends[-1] = UINT32_MAX;
	ends[-2] = UINT32_MAX - 1;
}

/* After a scan of n lines and k twins. */
void
scan_end(const uint64_t *vals, const uint32_t *ends, size_t n, size_t k, scan_result *r)
{
	const ptrdiff_t last = (ptrdiff_t)n - 1;

	r->lines = n;
	r->bytes = (uint32_t)(ends[last] + 1);
	r->twins = k;
	r->last_value = vals[last];
}

/* The twin that line i is, if it is one. */
static inline uint32_t
twin_of(const uint32_t *ends, ptrdiff_t i)
{
	return ends[i] | (ends[i - 1] - ends[i - 2] - 1) << 20 | (ends[i] - ends[i - 1] - 1) << 24;
}

/*
 * Stores after twins[k - 1] the twins among lines from ... n - 1; returns k
 * then.  The lines' numbers first, without a branch, and then the few
 * that are twins made into their places and lengths.
 */
size_t
stretch_twins_generic(
    const uint64_t *vals, const uint32_t *ends, size_t from, size_t n, uint32_t *twins, size_t k)
{
	size_t first = k;

	for (size_t i = from; i < n; i++) {
		twins[k] = (uint32_t)i;
		k += vals[i] == vals[i - 1] + 2;
	}
	for (size_t j = first; j < k; j++)
		twins[j] = twin_of(ends, (ptrdiff_t)twins[j]);
	return k;
}

#ifdef QUARN_TWIN_AVX512
/* stretch_twins_generic() sixteen lines at a time. */
TARGET_AVX512 size_t
stretch_twins_avx512(
    const uint64_t *vals, const uint32_t *ends, size_t from, size_t n, uint32_t *twins, size_t k)
{
	const __m512i two = _mm512_set1_epi64(2), one = _mm512_set1_epi32(1);

	for (size_t i = from; i < n; i += 16) {
		const uint64_t *v = vals + i;
		const uint32_t *e = ends + i;
		__mmask8 lo = _mm512_cmpeq_epu64_mask(
		    _mm512_add_epi64(_mm512_loadu_si512(v - 1), two), _mm512_loadu_si512(v));
		__mmask8 hi = _mm512_cmpeq_epu64_mask(
		    _mm512_add_epi64(_mm512_loadu_si512(v + 7), two), _mm512_loadu_si512(v + 8));
		__mmask16 twin = (__mmask16)(_kor_mask16(lo, _kshiftli_mask16(hi, 8)) &
		    _bzhi_u32(0xffff, (unsigned)(n - i < 16 ? n - i : 16)));
		__m512i end = _mm512_loadu_si512(e), end1 = _mm512_loadu_si512(e - 1);
		__m512i len = _mm512_sub_epi32(_mm512_sub_epi32(end, end1), one);
		__m512i len1 =
		    _mm512_sub_epi32(_mm512_sub_epi32(end1, _mm512_loadu_si512(e - 2)), one);
		__m512i all = _mm512_or_si512(
		    end, _mm512_or_si512(_mm512_slli_epi32(len1, 20), _mm512_slli_epi32(len, 24)));

		_mm512_storeu_si512(twins + k, _mm512_maskz_compress_epi32(twin, all));
		k += (size_t)_mm_popcnt_u32(twin);
	}
	return k;
}

#endif
