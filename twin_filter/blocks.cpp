/*
 * A block of 64 bytes at a time.  The newlines' places are packed into the
 * bytes of a vector, and each line's last 16 bytes, taken from the block
 * and the one before it, into a slot of 16 bytes.  In a run of lines of
 * one length, 7 digits or more, the places are known in advance, and
 * where the lines' digits but the last seven stay the same, the run is
 * read fused.
 */
#include "blocks.h"

#ifdef QUARN_TWIN_AVX512
#include "fused.h"
#include "lines.h"

/*
 * Byte k of a slot of 16 lies 16 - k before the line's newline; it is one
 * of the line's digits where 15 - k is less than the line's length.
 */
WIDE static inline __m512i
slot_digits(__m512i ends, __m512i lens, __m512i before, __m512i x)
{
	const __m512i slot = _mm512_set_epi8(-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13,
	    -14, -15, -16, -1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14, -15, -16,
	    -1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14, -15, -16, -1, -2, -3, -4,
	    -5, -6, -7, -8, -9, -10, -11, -12, -13, -14, -15, -16);
	const __m512i rev = _mm512_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0,
	    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
	    12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
	__m512i bytes = _mm512_permutex2var_epi8(before, _mm512_add_epi8(ends, slot), x);
	__mmask64 digit = _mm512_cmplt_epu8_mask(rev, lens);

	return _mm512_maskz_sub_epi8(digit, bytes, _mm512_set1_epi8('0'));
}

/*
 * The values of eight lines from their slots, lines 0, 2, 4, 6 in a and
 * 1, 3, 5, 7 in b: two digits, four, eight, then sixteen.
 */
WIDE static inline __m512i
slot_values(__m512i a, __m512i b)
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
 * A run of lines of run_len digits, 7 to 15, laid out for a block by the
 * place q of its first newline: the block's bytes less run_text[q] are at
 * most run_limit[q] (0 at a newline, 9 at a digit); slot_digits() reads
 * lines 0, 2, 4, 6 from run_a[q] and 1, 3, 5, 7 from run_b[q]; the block
 * has run_count[q] newlines, at run_ends[q], the last at run_last[q].
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
 * The blocks from *blk on that hold the run's lines and nothing else, at
 * most count of them, read with the places set_run() made; n lines are
 * read so far.  Returns their number then.
 */
WIDE static inline size_t
run_blocks(const char **blk, const char *end, const char **start, __m512i *before, __m512i *off,
    size_t count, size_t n)
{
	const __m512i zero = _mm512_set1_epi8('0'), step = _mm512_set1_epi32(64);
	const char *b = *blk, *s = *start;
	__m512i prev = *before, o = *off;

	for (; end - b >= 64 && n + 32 <= SCAN_LINES && count > 0; b += 64, count--) {
		unsigned long q = (unsigned long)(s + run_len - b);
		if (q > (unsigned long)run_len)
			break;
		__m512i x = _mm512_load_si512(b);
		if (_mm512_cmple_epu8_mask(_mm512_sub_epi8(x, _mm512_load_si512(run_text[q])),
			_mm512_load_si512(run_limit[q])) != ~0ULL)
			break;
		__m512i even = _mm512_maskz_sub_epi8(run_digits,
		    _mm512_permutex2var_epi8(prev, _mm512_load_si512(run_a[q]), x), zero);
		__m512i odd = _mm512_maskz_sub_epi8(run_digits,
		    _mm512_permutex2var_epi8(prev, _mm512_load_si512(run_b[q]), x), zero);

		_mm512_storeu_si512(vals + n, slot_values(even, odd));
		_mm512_storeu_si512(ends + n, _mm512_add_epi32(_mm512_load_si512(run_ends[q]), o));
		n += run_count[q];
		s = b + run_last[q] + 1;
		prev = x;
		o = _mm512_add_epi32(o, step);
	}
	*blk = b;
	*start = s;
	*before = prev;
	*off = o;
	return n;
}

/* scan_twins() on the AVX-512 path. */
WIDE void
scan_wide(const char *p, const char *end, u64 line_before, uint32_t *twins, scan_result *r)
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
	const char *blk = p - ((uintptr_t)p & 63);
	u64 from = ~0ULL << (p - blk);
	__m512i before = _mm512_setzero_si512();
	__m512i off = _mm512_set1_epi32((int)(blk - p));
	size_t n = 0, stretch = 0, k = 0;

	scan_start(line_before);
	for (;;) {
		/*
		 * The state goes to fuse_run() in a struct and comes back into
		 * locals, which the block loop keeps in registers.
		 */
		if (from == ~0ULL && run_len != 0) {
			wide_scan s = {before, off, p, end, blk, start, from, n, stretch, k, twins};
			size_t count = fuse_run(&s);

			blk = s.blk;
			start = s.start;
			from = s.from;
			before = s.before;
			off = s.off;
			n = s.n;
			stretch = s.stretch;
			k = s.k;
			if (from == ~0ULL)
				n = run_blocks(&blk, end, &start, &before, &off, count, n);
		}
		if (blk >= end || n + 32 > SCAN_LINES)
			break;
		__m512i x = _mm512_load_si512(blk);
		u64 nl = _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8('\n'));
		u64 digit = _mm512_cmplt_epu8_mask(
		    _mm512_sub_epi8(x, _mm512_set1_epi8('0')), _mm512_set1_epi8(10));
		u64 stop = ~(nl | digit) & from;

		if (end - blk < 64)
			stop |= ~0ULL << (end - blk);
		nl &= from & ((stop & -stop) - 1);
		/* A line may go on into the next block, but not for 16 digits. */
		if (nl == 0 && (stop != 0 || blk + 64 - start > 15))
			break;
		/* Newlines' places in the frame of the block before and this one. */
		__m512i at =
		    _mm512_add_epi8(_mm512_maskz_compress_epi8(nl, iota), _mm512_set1_epi8(64));
		__m512i prior = _mm512_mask_permutexvar_epi8(
		    _mm512_set1_epi8((char)(start - blk + 63)), ~1ULL, back, at);
		__m512i lens = _mm512_sub_epi8(_mm512_sub_epi8(at, prior), _mm512_set1_epi8(1));
		int count = (int)_mm_popcnt_u64(nl);
		u64 odd_len = _mm512_cmpgt_epu8_mask(_mm512_sub_epi8(lens, _mm512_set1_epi8(1)),
				  _mm512_set1_epi8(14)) &
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
			__m512i a = slot_digits(_mm512_permutexvar_epi8(ia, at),
			    _mm512_permutexvar_epi8(ia, lens), before, x);
			__m512i b = slot_digits(_mm512_permutexvar_epi8(ib, at),
			    _mm512_permutexvar_epi8(ib, lens), before, x);

			_mm512_storeu_si512(vals + n + g, slot_values(a, b));
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
			start = blk + 64 - _lzcnt_u64(nl);
		if (stop != 0)
			break;
		before = x;
		from = ~0ULL;
		off = _mm512_add_epi32(off, _mm512_set1_epi32(64));
		blk += 64;
	}
	scan_end(n, stretch_twins_wide(stretch, n, twins, k), r);
}

#endif
