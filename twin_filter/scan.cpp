/*
 * The common line is a run of 1 to 15 digits and a newline.  Below 10^15
 * its value is exact in a double, and "%lf" reads a bare digit run as that
 * integer, so such lines are read here in integers; any other line is left
 * to get_number().
 *
 * scan_twins(p, end, before, twins, r) reads the common lines from p on.
 * It stops before the first other line, before a line whose newline is not
 * before end, and once it has read more than SCAN_LINES - 32 lines, never
 * more than SCAN_LINES.  With before the value of the line before p, it
 * stores in twins each line read that is 2 more than the one before it
 * (scan.h); twins must have room for SCAN_LINES + 16.  The bytes from p -
 * SCAN_PAD to end + SCAN_PAD must be readable, and end - p is less than
 * SCAN_BYTES.
 *
 * Lines are read into vals, their values, and ends, the offsets of their
 * newlines from p, and stretch_twins() finds the twins among them; in a
 * run of lines whose digits but the last seven are the same, the AVX-512
 * path finds the twins as it reads, and stores nothing else.
 */
#include "scan.h"

#include <cstring>

#ifdef QUARN_TWIN_AVX512
/* GCC 12 takes the intrinsics' deliberately undefined vectors for mistakes. */
#ifndef __clang__
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#ifndef __clang__
#pragma GCC diagnostic pop
#endif
/* glibc's header is C; Clang's C++ has no _Bool, which is bool there. */
#ifdef __clang__
#define _Bool bool // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#endif
#include <sys/platform/x86.h>
#undef _Bool
#endif

typedef uint64_t u64;

static const u64 ones = 0x0101010101010101;

/* Eight bytes, the first in the low byte, whatever the byte order. */
static inline u64
load_le(const char *p)
{
	u64 x;

	memcpy(&x, p, sizeof x);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
	x = __builtin_bswap64(x);
#endif
	return x;
}

/* The high bit of each byte of x that is not a digit. */
static inline u64
non_digits(u64 x)
{
	u64 t = x ^ (ones * '0');

	return (((t & ones * 0x7f) + ones * 0x76) | t) & ones * 0x80;
}

/* The value of eight digit bytes, the first and most significant low. */
static inline u64
eight_digits(u64 x)
{
	x &= ones * 0x0f;
	x = (x * 10 + (x >> 8)) & 0x00ff00ff00ff00ff;
	x = (x * 100 + (x >> 16)) & 0x0000ffff0000ffff;
	return (x * 10000 + (x >> 32)) & 0xffffffff;
}

static const u64 pow10[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

/*
 * What the lines read were, each array with two places before the first:
 * vals[-1] is the value of the line before, ends[-2] and ends[-1] are the
 * places of the newlines before its start and its end.
 */
static u64 vals_room[2 + SCAN_LINES + 16];
static uint32_t ends_room[2 + SCAN_LINES + 16];
static u64 *const vals = vals_room + 2;
static uint32_t *const ends = ends_room + 2;

/* The value of the len digits at s, 7 to 15 of them. */
static inline u64
run_value(const char *s, size_t len)
{
	const u64 low = len >= 8 ? ~0ULL : ~0ULL << (64 - 8 * len);
	u64 a = load_le(s), b = load_le(s + len - 8);

	a = len > 8 ? eight_digits(a << (128 - 8 * len)) * 100000000 : 0;
	return a + eight_digits(b & low);
}

/*
 * The lines from *at on that have len digits, as many as fit after n lines
 * read; returns the number read then.  The places are known in advance, so
 * each line is read apart from the one before it.
 */
static inline size_t
same_lines(const char **at, const char *end, size_t len, const char *p, size_t n)
{
	const u64 low = len >= 8 ? ~0ULL : ~0ULL << (64 - 8 * len);
	const u64 high = len > 8 ? ~0ULL >> (128 - 8 * len) : 0;
	const char *s = *at;

	for (; n < SCAN_LINES && (size_t)(end - s) > len; s += len + 1) {
		u64 a = load_le(s), b = load_le(s + len - 8);

		if (((non_digits(a) & high) | (non_digits(b) & low)) != 0 || s[len] != '\n')
			break;
		vals[n] = run_value(s, len);
		ends[n++] = (uint32_t)(s + len - p);
	}
	*at = s;
	return n;
}

/*
 * A line at a time: the first non-digit of 16 bytes must be its newline.
 * The lines after it of the same length are read as a run.
 */
static size_t
scan_lines_generic(const char *p, const char *end)
{
	const char *s = p;
	size_t n = 0;

	while (n < SCAN_LINES) {
		u64 a = load_le(s), b = load_le(s + 8);
		u64 na = non_digits(a), nb = non_digits(b);
		size_t len = na ? (size_t)__builtin_ctzll(na) / 8
		    : nb        ? 8 + (size_t)__builtin_ctzll(nb) / 8
				: 16;

		if (len == 0 || len > 15 || len >= (size_t)(end - s) || s[len] != '\n')
			break;
		if (len <= 8)
			vals[n] = eight_digits(a << (64 - 8 * len));
		else
			vals[n] =
			    eight_digits(a) * pow10[len - 8] + eight_digits(b << (128 - 8 * len));
		s += len + 1;
		ends[n++] = (uint32_t)(s - 1 - p);
		n = same_lines(&s, end, len, p, n);
	}
	return n;
}

/* The twin that line i is, if it is one. */
static inline uint32_t
twin_of(ptrdiff_t i)
{
	return ends[i] | (ends[i - 1] - ends[i - 2] - 1) << 20 | (ends[i] - ends[i - 1] - 1) << 24;
}

/* Stores after twins[k - 1] the twins among lines from ... n - 1; returns k then. */
static size_t
stretch_twins_generic(size_t from, size_t n, uint32_t *twins, size_t k)
{
	for (ptrdiff_t i = (ptrdiff_t)from; i < (ptrdiff_t)n; i++) {
		twins[k] = twin_of(i);
		k += vals[i] == vals[i - 1] + 2;
	}
	return k;
}

/* Before a scan, the line before p: its value, outside the scan. */
static void
scan_start(u64 before)
{
	vals[-1] = before;
	ends[-1] = UINT32_MAX;
	ends[-2] = UINT32_MAX - 1;
}

/* After a scan of n lines and k twins. */
static void
scan_end(size_t n, size_t k, scan_result *r)
{
	const ptrdiff_t last = (ptrdiff_t)n - 1;

	r->lines = n;
	r->bytes = (uint32_t)(ends[last] + 1);
	r->twins = k;
	r->last = vals[last];
}

void
scan_twins_generic(const char *p, const char *end, u64 before, uint32_t *twins, scan_result *r)
{
	size_t n;

	scan_start(before);
	n = scan_lines_generic(p, end);
	scan_end(n, stretch_twins_generic(0, n, twins, 0), r);
}

#ifdef QUARN_TWIN_AVX512
#define WIDE                                                                                       \
	__attribute__((                                                                            \
	    target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,lzcnt,popcnt")))

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

/*
 * The same run read fused, where the lines' digits but the last seven are
 * the same, fuse_prefix, whose value is fuse_high (~0 until it is set):
 * fuse_lines lines, as many as 64 bytes hold, at a time, from the start
 * of the first.  Their bytes less fuse_text are at most fuse_limit: 0 at a
 * newline and at the prefix (the bits of fuse_high_bytes, and fuse_digit
 * tells which digit of it each is), 9 at the last seven digits, 255 after
 * the last line.  Lane j of eight takes from fuse_slot a line's last seven
 * digits, the last in the low byte and 0 above them, the last line in lane
 * 7, and a lane without a line eight zeros; fuse_pred has the lane of the
 * line before, 15 for lane 7 of the lines before.  fuse_ends has the
 * places of the lines' newlines in lanes 0-7, and in lanes 8-15 those of
 * the lines after them.
 */
alignas(64) static char fuse_text[64], fuse_limit[64], fuse_slot[64], fuse_digit[64];
alignas(64) static uint64_t fuse_pred[8];
alignas(64) static uint32_t fuse_ends[16];
static int fuse_lines;
static u64 fuse_high_bytes;
static char fuse_prefix[8];
static u64 fuse_high;

static void
set_fuse(int len)
{
	const int stride = len + 1, lines = 64 / stride, first = 8 - lines;

	fuse_high_bytes = 0;
	for (int k = 0; k < 64; k++) {
		int d = stride - 1 - k % stride;
		bool in = k < lines * stride;
		fuse_text[k] = (char)(!in ? 0 : d == 0 ? '\n' : '0');
		fuse_limit[k] = (char)(!in ? 255 : d >= 1 && d <= 7 ? 9 : 0);
		fuse_digit[k] = (char)(in && d > 7 ? len - d : 0);
		fuse_high_bytes |= (u64)(in && d > 7) << k;
	}
	for (int j = 0; j < 8; j++) {
		int i = j - first;
		for (int m = 0; m < 8; m++)
			fuse_slot[8 * j + m] = (char)(i >= 0 ? i * stride + len - 1 - m : len);
		fuse_pred[j] = (uint64_t)(i > 0 ? j - 1 : i == 0 ? 15 : j);
		fuse_ends[j] = (uint32_t)(i >= 0 ? i * stride + len : 0);
		fuse_ends[8 + j] = fuse_ends[j] + (uint32_t)(lines * stride);
	}
	fuse_lines = lines;
	fuse_high = ~0ULL;
}

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

/* Makes the run_len - 7 digits at s the fused run's prefix. */
WIDE static void
set_prefix(const char *s)
{
	alignas(64) char digits[64] = {0};
	u64 v = 0;

	for (int i = 0; i < run_len - 7; i++) {
		digits[i] = fuse_prefix[i] = s[i];
		v = v * 10 + (u64)(s[i] - '0');
	}
	_mm512_store_si512(fuse_text,
	    _mm512_mask_permutexvar_epi8(_mm512_load_si512(fuse_text), fuse_high_bytes,
		_mm512_load_si512(fuse_digit), _mm512_load_si512(digits)));
	fuse_high = v;
}

/*
 * The lane of the line after one of value v in the fused run, if it is v +
 * 2: the last seven digits of v + 2, the last in the low byte, if its
 * others are the prefix, or else a lane no line has.
 */
static u64
window_after(u64 v)
{
	u64 w = v + 2, lane = 0;

	if (w / 10000000 != fuse_high)
		return 1ULL << 56;
	w %= 10000000;
	for (int j = 0; j < 7; j++, w /= 10)
		lane |= (w % 10) << 8 * j;
	return lane;
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

/*
 * The lanes that are twins among fused lines whose digits less '0' are x,
 * after lines whose lanes plus 2 are in after; the lines' own lanes plus 2
 * go to *next.  Plus 2 is taken in decimal: with 246 added to each digit a
 * 9 carries, and a digit that did not carry is taken back below 10 by
 * adding 10.
 */
WIDE static inline __mmask8
fuse_twins(__m512i x, __m512i slot, __m512i pred, __m512i after, __m512i *next)
{
	__m512i lanes = _mm512_maskz_permutexvar_epi8(0x7f7f7f7f7f7f7f7fULL, slot, x);
	__m512i sum = _mm512_add_epi64(lanes, _mm512_set1_epi64((long long)0xf6f6f6f6f6f6f6f8ULL));

	*next = _mm512_min_epu8(sum, _mm512_add_epi8(sum, _mm512_set1_epi8(10)));
	return _mm512_cmpeq_epi64_mask(lanes, _mm512_permutex2var_epi64(*next, pred, after));
}

/*
 * The lines from *at on that fit the fused run, at most count times
 * fuse_lines of them, the line before them in lane 7 of after.  Two
 * vectors of lines at a time, checked together, their twins stored
 * together; where the two do not fit, the first alone.  Stores the twins
 * after twins[k - 1]; returns k then.
 */
WIDE static size_t
fuse_lines_from(
    const char **at, size_t count, const char *p, __m512i after, uint32_t *twins, size_t k)
{
	const __m512i text = _mm512_load_si512(fuse_text), limit = _mm512_load_si512(fuse_limit);
	const __m512i slot = _mm512_load_si512(fuse_slot), pred = _mm512_load_si512(fuse_pred);
	const size_t bytes = (size_t)fuse_lines * (size_t)(run_len + 1);
	const char *s = *at;
	__m512i places = _mm512_add_epi32(_mm512_load_si512(fuse_ends),
	    _mm512_set1_epi32(
		(int)((uint32_t)(s - p) | (uint32_t)run_len << 20 | (uint32_t)run_len << 24)));
	__m512i x, y, next;
	__mmask64 fit;
	__mmask16 twin = 0;

	for (; count >= 2; count -= 2) {
		x = _mm512_sub_epi8(_mm512_loadu_si512(s), text);
		y = _mm512_sub_epi8(_mm512_loadu_si512(s + bytes), text);
		fit = _mm512_mask_cmple_epu8_mask(_mm512_cmple_epu8_mask(x, limit), y, limit);
		if (!_kortestc_mask64_u8(fit, fit))
			break;
		twin = fuse_twins(x, slot, pred, after, &next);
		twin = _mm512_kunpackb(fuse_twins(y, slot, pred, next, &after), twin);
		_mm512_storeu_si512(twins + k, _mm512_maskz_compress_epi32(twin, places));
		k += (size_t)_mm_popcnt_u32(twin);
		places = _mm512_add_epi32(places, _mm512_set1_epi32((int)(2 * bytes)));
		s += 2 * bytes;
	}
	if (count > 0) {
		x = _mm512_sub_epi8(_mm512_loadu_si512(s), text);
		fit = _mm512_cmple_epu8_mask(x, limit);
		if (_kortestc_mask64_u8(fit, fit)) {
			twin = fuse_twins(x, slot, pred, after, &next);
			_mm512_storeu_si512(twins + k, _mm512_maskz_compress_epi32(twin, places));
			k += (size_t)_mm_popcnt_u32(twin);
			s += bytes;
		}
	}
	*at = s;
	return k;
}

/* stretch_twins_generic() sixteen lines at a time. */
WIDE static size_t
stretch_twins_wide(size_t from, size_t n, uint32_t *twins, size_t k)
{
	const __m512i two = _mm512_set1_epi64(2), one = _mm512_set1_epi32(1);

	for (size_t i = from; i < n; i += 16) {
		const u64 *v = vals + i;
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

/*
 * The state of a wide scan from p to end: the block at blk with the one
 * before it in before and its offset from p in each lane of off, the line
 * not read yet at start, from its bits of the block on, n lines read, of
 * which the twins of those from stretch on are not stored yet, k twins
 * stored.
 */
struct wide_scan {
	__m512i before, off;
	const char *p, *end, *blk, *start;
	u64 from;
	size_t n, stretch, k;
	uint32_t *twins;
};

/*
 * The fused run from the line at s->start, where the line before it is of
 * the run's length: its digits but the last seven must be the prefix, or
 * else be those of the line before, which become the prefix.  Returns the
 * most blocks to read after it as a run of values: one where a long fused
 * run stopped or the line before is not of the run's length, many where
 * a short one stopped or none can begin.
 */
WIDE static size_t
fuse_run(wide_scan *s)
{
	const size_t len = (size_t)run_len, stride = len + 1, bytes = (size_t)fuse_lines * stride;
	const char *line = s->start, *next = line;
	const ptrdiff_t last = (ptrdiff_t)s->n - 1;
	size_t count = (size_t)(s->end - line) / bytes, some = 64;

	if (s->n + (size_t)fuse_lines > SCAN_LINES || count == 0)
		return SIZE_MAX;
	if ((SCAN_LINES - s->n) / (size_t)fuse_lines < count)
		count = (SCAN_LINES - s->n) / (size_t)fuse_lines;
	/* Where the run reads a line first, the fused run can begin after it. */
	if (ends[last] - ends[last - 1] != stride)
		return 1;
	if (memcmp(line, fuse_prefix, len - 7) != 0 || fuse_high == ~0ULL) {
		/* The line before is digits, and so are these where they are the same. */
		if (memcmp(line, line - stride, len - 7) != 0)
			return SIZE_MAX;
		set_prefix(line);
	}
	s->k = stretch_twins_wide(s->stretch, s->n, s->twins, s->k);
	s->stretch = s->n;
	s->k = fuse_lines_from(&next, count, s->p,
	    _mm512_set1_epi64((long long)window_after(vals[last])), s->twins, s->k);
	size_t read = (size_t)(next - line) / bytes;
	if (read > 0) {
		s->n += read * (size_t)fuse_lines;
		vals[s->n - 1] = run_value(next - stride, len);
		ends[s->n - 1] = (uint32_t)(next - 1 - s->p);
		ends[s->n - 2] = ends[s->n - 1] - (uint32_t)stride;
		s->stretch = s->n;
		s->start = next;
		s->blk = next - ((uintptr_t)next & 63);
		s->from = ~0ULL << (next - s->blk);
		s->before = _mm512_load_si512(s->blk - 64);
		s->off = _mm512_set1_epi32((int)(s->blk - s->p));
	}
	return read == count ? SIZE_MAX : read > 0 && read < some ? some : 1;
}

/*
 * A block of 64 bytes at a time.  The newlines' places are packed into the
 * bytes of a vector, and each line's last 16 bytes, taken from the block
 * and the one before it, into a slot of 16 bytes.  In a run of lines of
 * one length, 7 digits or more, the places are known in advance.
 */
WIDE static void
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

static bool
find_wide(void)
{
	return CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW) &&
	    CPU_FEATURE_ACTIVE(AVX512VL) && CPU_FEATURE_ACTIVE(AVX512_VBMI) &&
	    CPU_FEATURE_ACTIVE(AVX512_VBMI2) && CPU_FEATURE_ACTIVE(BMI1) &&
	    CPU_FEATURE_ACTIVE(BMI2) && CPU_FEATURE_ACTIVE(LZCNT) && CPU_FEATURE_ACTIVE(POPCNT);
}

/* Asked once, of the features the C library's loader recorded. */
static const bool wide = find_wide(); // NOLINT(cert-err58-cpp)

bool
scan_is_wide(void)
{
	return wide;
}

void
scan_twins(const char *p, const char *end, u64 before, uint32_t *twins, scan_result *r)
{
	if (wide)
		scan_wide(p, end, before, twins, r);
	else
		scan_twins_generic(p, end, before, twins, r);
}
#else
bool
scan_is_wide(void)
{
	return false;
}

void
scan_twins(const char *p, const char *end, u64 before, uint32_t *twins, scan_result *r)
{
	scan_twins_generic(p, end, before, twins, r);
}
#endif
