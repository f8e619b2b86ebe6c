/*
 * The common line is a run of 1 to 15 digits and a newline.  Below 10^15
 * its value is exact in a double, and "%lf" reads a bare digit run as that
 * integer, so such lines are read here in integers; any other line is left
 * to get_number().
 *
 * scan_twins(p, end, before, twins, r) reads the common lines from p on.
 * It stops before the first other line, before a line whose newline is not
 * before end, or for its limit: never past SCAN_LINES lines, and only once
 * it has read more than SCAN_LINES - 32.  With before the value of the line
 * before p, it stores in twins each line read that is 2 more than the one
 * before it (twins.h); twins must have room for SCAN_LINES + 16.  The bytes
 * from p - SCAN_PAD to end + SCAN_PAD must be readable, and end - p is less
 * than SCAN_BYTES.
 *
 * Lines are read into vals and ends (lines.h), which this file owns and
 * hands to the stages, and the twins found among them; in a run of lines
 * whose digits but the last seven are the same, the AVX-512 path
 * (chunks.cpp, fused.cpp) finds the twins as it reads, and stores nothing
 * else.  This file holds the portable path, which reads a line at a time,
 * and the choice between the two.
 */
#include "scan.h"

#include "chunks.h"
#include "lines.h"

#ifdef QUARN_TWIN_AVX512
/* glibc's header is C; Clang's C++ has no _Bool, which is bool there. */
#ifdef __clang__
#define _Bool bool // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#endif
#include <sys/platform/x86.h>
#undef _Bool
#endif

/* The lines a scan reads, from the third place on (lines.h). */
static uint64_t vals_room[2 + SCAN_LINES + 16];
static uint32_t ends_room[2 + SCAN_LINES + 16];

/* The high bit of each byte of x that is not a digit. */
static inline uint64_t
non_digits(uint64_t x)
{
	uint64_t t = x ^ (ones * '0');

	return (((t & ones * 0x7f) + ones * 0x76) | t) & ones * 0x80;
}

static const uint64_t pow10[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

/*
 * The lines from *at on that have len digits, as many as fit after n lines
 * read into vals and ends; returns the number read then.  The places are
 * known in advance, so each line is read apart from the one before it.
 */
static inline size_t
same_lines(const char **at, const char *end, size_t len, const char *p, uint64_t *vals,
    uint32_t *ends, size_t n)
{
	const uint64_t low = len >= 8 ? ~0ULL : ~0ULL << (64 - 8 * len);
	const uint64_t high = len > 8 ? ~0ULL >> (128 - 8 * len) : 0;
	const char *s = *at;

	for (; n < SCAN_LINES && (size_t)(end - s) > len; s += len + 1) {
		uint64_t a = load_le(s), b = load_le(s + len - 8);

		if (((non_digits(a) & high) | (non_digits(b) & low)) != 0 || s[len] != '\n')
			break;
		vals[n] = run_value(s, len);
		ends[n++] = (uint32_t)(s + len - p);
	}
	*at = s;
	return n;
}

/*
 * A line at a time into vals and ends: the first non-digit of 16 bytes must
 * be its newline.  The lines after it of the same length are read as a run.
 */
static size_t
scan_lines_generic(const char *p, const char *end, uint64_t *vals, uint32_t *ends)
{
	const char *s = p;
	size_t n = 0;

	while (n < SCAN_LINES) {
		uint64_t a = load_le(s), b = load_le(s + 8);
		uint64_t na = non_digits(a), nb = non_digits(b);
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
		n = same_lines(&s, end, len, p, vals, ends, n);
	}
	return n;
}

void
scan_twins_generic(const char *p, const char *end, uint64_t before, uint32_t *twins, scan_result *r)
{
	uint64_t *const vals = vals_room + 2;
	uint32_t *const ends = ends_room + 2;
	size_t n;

	scan_start(vals, ends, before);
	n = scan_lines_generic(p, end, vals, ends);
	scan_end(vals, ends, n, stretch_twins_generic(vals, ends, 0, n, twins, 0), r);
}

#ifdef QUARN_TWIN_AVX512
static bool
find_avx512(void)
{
	return CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW) &&
	    CPU_FEATURE_ACTIVE(AVX512VL) && CPU_FEATURE_ACTIVE(AVX512_VBMI) &&
	    CPU_FEATURE_ACTIVE(AVX512_VBMI2) && CPU_FEATURE_ACTIVE(BMI1) &&
	    CPU_FEATURE_ACTIVE(BMI2) && CPU_FEATURE_ACTIVE(LZCNT) && CPU_FEATURE_ACTIVE(POPCNT);
}

/* Asked once, of the features the C library's loader recorded. */
static const bool use_avx512 = find_avx512(); // NOLINT(cert-err58-cpp)

bool
scan_uses_avx512(void)
{
	return use_avx512;
}

void
scan_twins(const char *p, const char *end, uint64_t before, uint32_t *twins, scan_result *r)
{
	if (use_avx512)
		scan_avx512(p, end, before, vals_room + 2, ends_room + 2, twins, r);
	else
		scan_twins_generic(p, end, before, twins, r);
}
#else
bool
scan_uses_avx512(void)
{
	return false;
}

void
scan_twins(const char *p, const char *end, uint64_t before, uint32_t *twins, scan_result *r)
{
	scan_twins_generic(p, end, before, twins, r);
}
#endif
