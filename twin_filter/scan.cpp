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
 * Lines are read into vals and ends (lines.h), and the twins found among
 * them; in a run of lines whose digits but the last seven are the same, the
 * AVX-512 path (blocks.cpp, fused.cpp) finds the twins as it reads, and
 * stores nothing else.  This file holds the portable path, which reads a
 * line at a time, and the choice between the two.
 */
#include "scan.h"

#include "blocks.h"
#include "lines.h"

#ifdef QUARN_TWIN_AVX512
/* glibc's header is C; Clang's C++ has no _Bool, which is bool there. */
#ifdef __clang__
#define _Bool bool // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#endif
#include <sys/platform/x86.h>
#undef _Bool
#endif

/* The high bit of each byte of x that is not a digit. */
static inline u64
non_digits(u64 x)
{
	u64 t = x ^ (ones * '0');

	return (((t & ones * 0x7f) + ones * 0x76) | t) & ones * 0x80;
}

static const u64 pow10[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

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

void
scan_twins_generic(const char *p, const char *end, u64 before, uint32_t *twins, scan_result *r)
{
	size_t n;

	scan_start(before);
	n = scan_lines_generic(p, end);
	scan_end(n, stretch_twins_generic(0, n, twins, 0), r);
}

#ifdef QUARN_TWIN_AVX512
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
