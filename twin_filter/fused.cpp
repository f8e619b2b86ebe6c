/*
 * A fused run: as many whole lines as 64 bytes hold, loaded from the start
 * of the first, checked against a layout that has their common digits in
 * it, and each line's last seven digits put in a lane of 64 bits, where
 * plus 2 is taken in decimal and compared with the next line's lane.
 */
#include "fused.h"

#ifdef QUARN_TWIN_AVX512
/*
 * The same run read fused, where the lines' digits but the last seven are
 * the same, fuse_prefix, whose value is fuse_high (~0 until it is set):
 * fuse_lines lines, as many as 64 bytes hold, at a time, from the start
 * of the first.  Their bytes less fuse_text are at most fuse_limit: 0 at a
 * newline and at the prefix (the bits of fuse_high_bytes, and fuse_digit
 * tells which digit of it each is), 9 at the last seven digits, 255 after
 * the last line.  Lane j of eight takes from the places in fuse_source a
 * line's last seven digits, the last in the low byte and 0 above them,
 * the last line in lane 7, and a lane without a line eight zeros;
 * fuse_pred has the lane of the line before, 15 for lane 7 of the lines
 * before.  fuse_ends has the places of the lines' newlines in lanes 0-7,
 * and in lanes 8-15 those of the lines after them.
 */
alignas(64) static char fuse_text[64], fuse_limit[64], fuse_source[64], fuse_digit[64];
alignas(64) static uint64_t fuse_pred[8];
alignas(64) static uint32_t fuse_ends[16];
static int fuse_len, fuse_lines;
static uint64_t fuse_high_bytes;
static char fuse_prefix[8];
static uint64_t fuse_high;

void
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
		fuse_high_bytes |= (uint64_t)(in && d > 7) << k;
	}
	for (int j = 0; j < 8; j++) {
		int i = j - first;
		for (int m = 0; m < 8; m++)
			fuse_source[8 * j + m] = (char)(i >= 0 ? i * stride + len - 1 - m : len);
		fuse_pred[j] = (uint64_t)(i > 0 ? j - 1 : i == 0 ? 15 : j);
		fuse_ends[j] = (uint32_t)(i >= 0 ? i * stride + len : 0);
		fuse_ends[8 + j] = fuse_ends[j] + (uint32_t)(lines * stride);
	}
	fuse_len = len;
	fuse_lines = lines;
	fuse_high = ~0ULL;
}

/* Makes the fuse_len - 7 digits at s the fused run's prefix. */
TARGET_AVX512 static void
set_prefix(const char *s)
{
	alignas(64) char digits[64] = {0};
	uint64_t v = 0;

	for (int i = 0; i < fuse_len - 7; i++) {
		digits[i] = fuse_prefix[i] = s[i];
		v = v * 10 + (uint64_t)(s[i] - '0');
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
static uint64_t
lane_after(uint64_t v)
{
	uint64_t w = v + 2, lane = 0;

	if (w / 10000000 != fuse_high)
		return 1ULL << 56;
	w %= 10000000;
	for (int j = 0; j < 7; j++, w /= 10)
		lane |= (w % 10) << 8 * j;
	return lane;
}

/*
 * The lanes that are twins among fused lines whose digits less '0' are x,
 * after lines whose lanes plus 2 are in after; the lines' own lanes plus 2
 * go to *next.  Plus 2 is taken in decimal: with 246 added to each digit a
 * 9 carries, and a digit that did not carry is taken back below 10 by
 * adding 10.
 */
TARGET_AVX512 static inline __mmask8
fuse_twins(__m512i x, __m512i source, __m512i pred, __m512i after, __m512i *next)
{
	__m512i lanes = _mm512_maskz_permutexvar_epi8(0x7f7f7f7f7f7f7f7fULL, source, x);
	__m512i sum = _mm512_add_epi64(lanes, _mm512_set1_epi64((long long)0xf6f6f6f6f6f6f6f8ULL));

	*next = _mm512_min_epu8(sum, _mm512_add_epi8(sum, _mm512_set1_epi8(10)));
	return _mm512_cmpeq_epi64_mask(lanes, _mm512_permutex2var_epi64(*next, pred, after));
}

/*
 * The lines from *at on that fit the fused run, at most count times
 * fuse_lines of them, the line before them in lane 7 of after.  Two
 * vectors of lines at a time, checked together, their twins stored
 * together; where the two do not fit, the first alone.  Stores the twins,
 * their places from p, after twins[k - 1]; returns k then.
 */
TARGET_AVX512 static size_t
fuse_lines_from(
    const char **at, size_t count, const char *p, __m512i after, uint32_t *twins, size_t k)
{
	const __m512i text = _mm512_load_si512(fuse_text), limit = _mm512_load_si512(fuse_limit);
	const __m512i source = _mm512_load_si512(fuse_source), pred = _mm512_load_si512(fuse_pred);
	const size_t bytes = (size_t)fuse_lines * (size_t)(fuse_len + 1);
	const char *s = *at;
	__m512i places = _mm512_add_epi32(_mm512_load_si512(fuse_ends),
	    _mm512_set1_epi32(
		(int)((uint32_t)(s - p) | (uint32_t)fuse_len << 20 | (uint32_t)fuse_len << 24)));
	__m512i x, y, next;
	__mmask64 fit;
	__mmask16 twin = 0;

	for (; count >= 2; count -= 2) {
		x = _mm512_sub_epi8(_mm512_loadu_si512(s), text);
		y = _mm512_sub_epi8(_mm512_loadu_si512(s + bytes), text);
		fit = _mm512_mask_cmple_epu8_mask(_mm512_cmple_epu8_mask(x, limit), y, limit);
		if (!_kortestc_mask64_u8(fit, fit))
			break;
		twin = fuse_twins(x, source, pred, after, &next);
		twin = _mm512_kunpackb(fuse_twins(y, source, pred, next, &after), twin);
		_mm512_storeu_si512(twins + k, _mm512_maskz_compress_epi32(twin, places));
		k += (size_t)_mm_popcnt_u32(twin);
		places = _mm512_add_epi32(places, _mm512_set1_epi32((int)(2 * bytes)));
		s += 2 * bytes;
	}
	if (count > 0) {
		x = _mm512_sub_epi8(_mm512_loadu_si512(s), text);
		fit = _mm512_cmple_epu8_mask(x, limit);
		if (_kortestc_mask64_u8(fit, fit)) {
			twin = fuse_twins(x, source, pred, after, &next);
			_mm512_storeu_si512(twins + k, _mm512_maskz_compress_epi32(twin, places));
			k += (size_t)_mm_popcnt_u32(twin);
			s += bytes;
		}
	}
	*at = s;
	return k;
}

/*
 * The fused run from the line at s->start, where the line before it is of
 * the run's length: its digits but the last seven must be the prefix, or
 * else be those of the line before, which become the prefix.  Returns the
 * most chunks to read after it as a run of values: one where the line
 * before is not of the run's length or the fused run stopped at once or
 * late, 64 where it stopped early, no limit where it read all it could or
 * none can begin.
 */
TARGET_AVX512 size_t
fuse_run(chunk_state *s)
{
	const size_t len = (size_t)fuse_len, stride = len + 1, bytes = (size_t)fuse_lines * stride;
	const char *line = s->start, *next = line;
	const ptrdiff_t last = (ptrdiff_t)s->lines - 1;
	uint64_t *const vals = s->vals;
	uint32_t *const ends = s->ends;
	size_t count = (size_t)(s->end - line) / bytes, some = 64;

	if (s->lines + (size_t)fuse_lines > SCAN_LINES || count == 0)
		return SIZE_MAX;
	if ((SCAN_LINES - s->lines) / (size_t)fuse_lines < count)
		count = (SCAN_LINES - s->lines) / (size_t)fuse_lines;
	/* Where the run reads a line first, the fused run can begin after it. */
	if (ends[last] - ends[last - 1] != stride)
		return 1;
	if (memcmp(line, fuse_prefix, len - 7) != 0 || fuse_high == ~0ULL) {
		/* The line before is digits, and so are these where they are the same. */
		if (memcmp(line, line - stride, len - 7) != 0)
			return SIZE_MAX;
		set_prefix(line);
	}
	s->stored = stretch_twins_avx512(vals, ends, s->stretch, s->lines, s->twins, s->stored);
	s->stretch = s->lines;
	s->stored = fuse_lines_from(&next, count, s->origin,
	    _mm512_set1_epi64((long long)lane_after(vals[last])), s->twins, s->stored);
	size_t read = (size_t)(next - line) / bytes;
	if (read > 0) {
		s->lines += read * (size_t)fuse_lines;
		vals[s->lines - 1] = run_value(next - stride, len);
		ends[s->lines - 1] = (uint32_t)(next - 1 - s->origin);
		ends[s->lines - 2] = ends[s->lines - 1] - (uint32_t)stride;
		s->stretch = s->lines;
		s->start = next;
		s->chunk = next - ((uintptr_t)next & 63);
		s->from = ~0ULL << (next - s->chunk);
		s->before = _mm512_load_si512(s->chunk - 64);
		s->off = _mm512_set1_epi32((int)(s->chunk - s->origin));
	}
	return read == count ? SIZE_MAX : read > 0 && read < some ? some : 1;
}

#endif
