/*
 * A chunk of 64 bytes at a time.  The newlines' places are packed into the
 * bytes of a vector, and each line's last 16 bytes, taken from the chunk
 * and the one before it, into a cell of 16 bytes.  In a run of lines of
 * one length, 7 digits or more, the places are known in advance, and
 * where the lines' digits but the last seven stay the same, the run is
 * read fused.
 */
#include "chunks.h"

#ifdef QUARN_TWIN_AVX512
#include "fused.h"
#include "lines.h"

/*
 * The cells of four lines, from the chunk x and the one before it, each
 * byte of at and lens the place of its cell's line's newline and its
 * length: byte k of a cell lies 16 - k before the newline, and is one of
 * the line's digits, less '0', where 15 - k is less than the length.
 */
TARGET_AVX512 static inline __m512i
cell_digits(__m512i at, __m512i lens, __m512i before, __m512i x)
{
	const __m512i cell = _mm512_set_epi8(-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13,
	    -14, -15, -16, -1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14, -15, -16,
	    -1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14, -15, -16, -1, -2, -3, -4,
	    -5, -6, -7, -8, -9, -10, -11, -12, -13, -14, -15, -16);
	const __m512i rev = _mm512_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0,
	    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
	    12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
	__m512i bytes = _mm512_permutex2var_epi8(before, _mm512_add_epi8(at, cell), x);
	__mmask64 digit = _mm512_cmplt_epu8_mask(rev, lens);

	return _mm512_maskz_sub_epi8(digit, bytes, _mm512_set1_epi8('0'));
}

/*
 * The values of eight lines from their cells, lines 0, 2, 4, 6 in a and
 * 1, 3, 5, 7 in b: two digits, four, eight, then sixteen.
 */
TARGET_AVX512 static inline __m512i
cell_values(__m512i a, __m512i b)
{
	const __m512i by10 = _mm512_set1_epi16(0x010a);
	const __m512i by100 = _mm512_set1_epi32(0x00010064);
	const __m512i by10000 = _mm512_set1_epi32(0x00012710);

	a = _mm512_madd_epi16(_mm512_maddubs_epi16(a, by10), by100);
	b = _mm512_madd_epi16(_mm512_maddubs_epi16(b, by10), by100);
	a = _mm512_madd_epi16(_mm512_packus_epi32(a, b), by10000);
	return _mm512_add_epi64(
	    _mm512_mul_epu32(a, _mm512_set1_epi64(100000000)), _mm512_srli_epi64(a, 32));
}

/*
 * A run of lines of run_len digits, 7 to 15, laid out for a chunk by the
 * place q of its first newline: the chunk's bytes less run_text[q] are at
 * most run_limit[q] (0 at a newline, 9 at a digit); the cells of lines 0,
 * 2, 4, 6 take their bytes from the places in run_a[q], those of 1, 3, 5,
 * 7 from run_b[q], and run_digits keeps their digits; the chunk has
 * run_count[q] newlines, at run_ends[q], the last at run_last[q].
 */
static int run_len;
static __mmask64 run_digits;
alignas(64) static char run_text[16][64], run_limit[16][64], run_a[16][64], run_b[16][64];
alignas(64) static uint32_t run_ends[16][16];
static unsigned char run_count[16], run_last[16];

static void
set_run(int len)
{
	const int stride = len + 1;

	for (int q = 0; q < stride; q++) {
		for (int k = 0; k < 64; k++) {
			bool nl = k >= q && (k - q) % stride == 0;
			run_text[q][k] = nl ? '\n' : '0';
			run_limit[q][k] = nl ? 0 : 9;
			run_a[q][k] = (char)(64 + q + k / 16 * 2 * stride - 16 + k % 16);
			run_b[q][k] = (char)(run_a[q][k] + stride);
		}
		for (int j = 0; j < 16; j++)
			run_ends[q][j] = (uint32_t)(q + j * stride);
		run_count[q] = (unsigned char)((64 - q + len) / stride);
		run_last[q] = (unsigned char)(q + (run_count[q] - 1) * stride);
	}
	run_len = len;
	run_digits = ((0xffffULL << (16 - len)) & 0xffff) * 0x0001000100010001;
	set_fuse(len);
}

/*
 * The chunks from *chunk on that hold the run's lines and nothing else, at
 * most count of them, read into vals and ends with the places set_run()
 * made; n lines are read so far.  Returns their number then.
 */
TARGET_AVX512 static inline size_t
run_chunks(const char **chunk, const char *end, const char **start, __m512i *before, __m512i *off,
    size_t count, uint64_t *vals, uint32_t *ends, size_t n)
{
	const __m512i zero = _mm512_set1_epi8('0'), step = _mm512_set1_epi32(64);
	const char *c = *chunk, *s = *start;
	__m512i prev = *before, o = *off;

	for (; end - c >= 64 && n + 32 <= SCAN_LINES && count > 0; c += 64, count--) {
		unsigned long q = (unsigned long)(s + run_len - c);
		if (q > (unsigned long)run_len)
			break;
		__m512i x = _mm512_load_si512(c);
		if (_mm512_cmple_epu8_mask(_mm512_sub_epi8(x, _mm512_load_si512(run_text[q])),
			_mm512_load_si512(run_limit[q])) != ~0ULL)
			break;
		__m512i even = _mm512_maskz_sub_epi8(run_digits,
		    _mm512_permutex2var_epi8(prev, _mm512_load_si512(run_a[q]), x), zero);
		__m512i odd = _mm512_maskz_sub_epi8(run_digits,
		    _mm512_permutex2var_epi8(prev, _mm512_load_si512(run_b[q]), x), zero);

		_mm512_storeu_si512(vals + n, cell_values(even, odd));
		_mm512_storeu_si512(ends + n, _mm512_add_epi32(_mm512_load_si512(run_ends[q]), o));
		n += run_count[q];
		s = c + run_last[q] + 1;
		prev = x;
		o = _mm512_add_epi32(o, step);
	}
	*chunk = c;
	*start = s;
	*before = prev;
	*off = o;
	return n;
}

/* scan_twins() on the AVX-512 path, reading the lines into vals and ends (lines.h). */
TARGET_AVX512 void
scan_avx512(const char *p, const char *end, uint64_t line_before, uint64_t *vals, uint32_t *ends,
    uint32_t *twins, scan_result *r)
{
	const __m512i iota = _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50,
	    49, 48, 47, 46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28,
	    27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5,
	    4, 3, 2, 1, 0);
	const __m512i even = _mm512_set_epi8(6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 4, 4,
	    4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
	    2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
	const __m512i odd = _mm512_add_epi8(even, _mm512_set1_epi8(1));
	const __m512i back = _mm512_sub_epi8(iota, _mm512_set1_epi8(1));
	const char *start = p;
	const char *chunk = p - ((uintptr_t)p & 63);
	uint64_t from = ~0ULL << (p - chunk);
	__m512i before = _mm512_setzero_si512();
	__m512i off = _mm512_set1_epi32((int)(chunk - p));
	size_t n = 0, stretch = 0, k = 0;

	scan_start(vals, ends, line_before);
	for (;;) {
		/*
		 * The state goes to fuse_run() in a struct and comes back into
		 * locals, which the chunk loop keeps in registers.
		 */
		if (from == ~0ULL && run_len != 0) {
			chunk_state s = {before, off, p, end, chunk, start, from, n, stretch, k,
			    vals, ends, twins};
			size_t count = fuse_run(&s);

			chunk = s.chunk;
			start = s.start;
			from = s.from;
			before = s.before;
			off = s.off;
			n = s.lines;
			stretch = s.stretch;
			k = s.stored;
			if (from == ~0ULL)
				n = run_chunks(
				    &chunk, end, &start, &before, &off, count, vals, ends, n);
		}
		if (chunk >= end || n + 32 > SCAN_LINES)
			break;
		__m512i x = _mm512_load_si512(chunk);
		uint64_t nl = _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8('\n'));
		uint64_t digit = _mm512_cmplt_epu8_mask(
		    _mm512_sub_epi8(x, _mm512_set1_epi8('0')), _mm512_set1_epi8(10));
		uint64_t stop = ~(nl | digit) & from;

		if (end - chunk < 64)
			stop |= ~0ULL << (end - chunk);
		nl &= from & ((stop & -stop) - 1);
		/* A line may go on into the next chunk, but not for 16 digits. */
		if (nl == 0 && (stop != 0 || chunk + 64 - start > 15))
			break;
		/* Newlines' places in the frame of the chunk before and this one. */
		__m512i at =
		    _mm512_add_epi8(_mm512_maskz_compress_epi8(nl, iota), _mm512_set1_epi8(64));
		__m512i prior = _mm512_mask_permutexvar_epi8(
		    _mm512_set1_epi8((char)(start - chunk + 63)), ~1ULL, back, at);
		__m512i lens = _mm512_sub_epi8(_mm512_sub_epi8(at, prior), _mm512_set1_epi8(1));
		int count = (int)_mm_popcnt_u64(nl);
		uint64_t odd_len =
		    _mm512_cmpgt_epu8_mask(
			_mm512_sub_epi8(lens, _mm512_set1_epi8(1)), _mm512_set1_epi8(14)) &
		    _bzhi_u64(~0ULL, (unsigned)count);
		__m512i at_off = _mm512_sub_epi32(off, _mm512_set1_epi32(64));

		if (odd_len != 0) {
			count = (int)_tzcnt_u64(odd_len);
			nl = _pdep_u64(_bzhi_u64(~0ULL, (unsigned)count), nl);
			stop |= 1;
		}
		_mm512_storeu_si512(ends + n,
		    _mm512_add_epi32(_mm512_cvtepu8_epi32(_mm512_castsi512_si128(at)), at_off));
		if (count > 16)
			_mm512_storeu_si512(ends + n + 16,
			    _mm512_add_epi32(
				_mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(at, 1)), at_off));
		for (int g = 0; g < count; g += 8) {
			__m512i line = _mm512_set1_epi8((char)g);
			__m512i ia = _mm512_add_epi8(even, line), ib = _mm512_add_epi8(odd, line);
			__m512i a = cell_digits(_mm512_permutexvar_epi8(ia, at),
			    _mm512_permutexvar_epi8(ia, lens), before, x);
			__m512i b = cell_digits(_mm512_permutexvar_epi8(ib, at),
			    _mm512_permutexvar_epi8(ib, lens), before, x);

			_mm512_storeu_si512(vals + n + g, cell_values(a, b));
		}
		n += (size_t)count;
		/* Three lines or more of one length begin a run. */
		if (count >= 3 && odd_len == 0) {
			__mmask64 some = (__mmask64)_bzhi_u64(~0ULL, (unsigned)count);
			int len = (unsigned char)_mm_cvtsi128_si32(_mm512_castsi512_si128(lens));
			if (len >= 7 && len <= 15 && len != run_len &&
			    _mm512_mask_cmpeq_epi8_mask(some, lens, _mm512_set1_epi8((char)len)) ==
				some)
				set_run(len);
		}
		if (nl != 0)
			start = chunk + 64 - _lzcnt_u64(nl);
		if (stop != 0)
			break;
		before = x;
		from = ~0ULL;
		off = _mm512_add_epi32(off, _mm512_set1_epi32(64));
		chunk += 64;
	}
	scan_end(vals, ends, n, stretch_twins_avx512(vals, ends, stretch, n, twins, k), r);
}

#endif
