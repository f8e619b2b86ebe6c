/*
 * A number's text read exactly.  The significant digits, from the first
 * non-zero one to the last, times a power of the base: the whole part is
 * built from the leading ones only, and digit counts are compared with the
 * 20 decimal digits or 64 bits of 2^64 - 1 before anything is multiplied,
 * so that no length of digits or exponent overflows or takes long.
 * Hexadecimal digits are taken as 4 bits each, its exponent being of 2.
 */
#include <cstdio>

#include "whole.h"

typedef uint64_t u64;

/* An exponent this large says all there is to say of a 64-bit value. */
static const int64_t exponent_cap = (int64_t)1 << 40;

static bool
is_space(char c)
{
	return c == ' ' || (c >= '\t' && c <= '\r');
}

/* A digit's value in base 16; 16 for any other character. */
static unsigned
digit_value(char c)
{
	if (c >= '0' && c <= '9')
		return (unsigned)(c - '0');
	if (c >= 'a' && c <= 'f')
		return (unsigned)(c - 'a' + 10);
	if (c >= 'A' && c <= 'F')
		return (unsigned)(c - 'A' + 10);
	return 16;
}

/* Sets *v to *v * base + unit; false on overflow. */
static bool
push(u64 *v, unsigned base, unsigned unit)
{
	return !__builtin_mul_overflow(*v, base, v) && !__builtin_add_overflow(*v, unit, v);
}

/* The number of leading zero bits of a non-zero hexadecimal digit. */
static int
leading_zeros(unsigned x)
{
	return x >= 8 ? 0 : x >= 4 ? 1 : x >= 2 ? 2 : 3;
}

/* The number of trailing zero bits of a non-zero hexadecimal digit. */
static int
trailing_zeros(unsigned x)
{
	return x & 1 ? 0 : x & 2 ? 1 : x & 4 ? 2 : 3;
}

/*
 * The whole part in *v of the number whose first non-zero digit is at
 * first: whole_len units (digits, or bits in hexadecimal), at most 64, the
 * last non-zero one of weight base^scale; false where it exceeds 2^64 - 1.
 */
static bool
whole_part(const char *first, bool hex, int64_t whole_len, int64_t scale, u64 *v)
{
	const int per = hex ? 4 : 1;
	const unsigned base = hex ? 2 : 10;
	int skip = hex ? leading_zeros(digit_value(*first)) : 0;
	int64_t count = whole_len - (scale > 0 ? scale : 0);

	*v = 0;
	for (const char *p = first; count > 0; p++) {
		if (*p == '.')
			continue;
		const unsigned x = digit_value(*p);
		for (int k = per - 1; k >= 0 && count > 0; k--) {
			if (skip > 0) {
				skip--;
				continue;
			}
			if (!push(v, base, hex ? x >> k & 1 : x))
				return false;
			count--;
		}
	}
	for (int64_t i = 0; i < scale; i++)
		if (!push(v, base, 0))
			return false;
	return true;
}

/*
 * Reads the exponent's digits at p, before end, if any ("%lf" takes "1e+"
 * as 1): its value, the magnitude capped.
 */
static int64_t
exponent(const char *p, const char *end)
{
	const bool minus = p < end && *p == '-';

	if (p < end && (*p == '+' || *p == '-'))
		p++;
	int64_t e = 0;
	for (; p < end && *p >= '0' && *p <= '9'; p++)
		if (e < exponent_cap)
			e = e * 10 + (*p - '0');
	return minus ? -e : e;
}

/*
 * Judges the unsigned number text [p, end) that "%lf" took: decimal digits
 * with a point and an "e" exponent of 10, or "0x" and hexadecimal digits
 * with a point and a "p" exponent of 2, any part empty.
 */
static int
judge(const char *p, const char *end, bool minus, u64 *value)
{
	const bool hex = end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
	const unsigned radix = hex ? 16 : 10;
	const char *first = nullptr, *last = nullptr;
	int64_t count = 0, first_at = 0, last_at = 0, point = -1;

	if (hex)
		p += 2;
	for (; p < end; p++) {
		if (*p == '.' && point < 0) {
			point = count;
			continue;
		}
		if (digit_value(*p) >= radix)
			break;
		if (*p != '0') {
			if (!first) {
				first = p;
				first_at = count;
			}
			last = p;
			last_at = count;
		}
		count++;
	}
	if (point < 0)
		point = count;
	const int64_t e = p < end && (*p | 0x20) == (hex ? 'p' : 'e') ? exponent(p + 1, end) : 0;
	if (!first)
		return WHOLE_OK;
	if (minus)
		return WHOLE_NOT_WHOLE;
	/* Digits, or bits in hexadecimal, of the whole part and weight of the last. */
	int64_t whole_len = e + point - first_at, scale = e + point - 1 - last_at;
	if (hex) {
		whole_len = e + 4 * (point - first_at) - leading_zeros(digit_value(*first));
		scale = e + 4 * (point - 1 - last_at) + trailing_zeros(digit_value(*last));
	}
	u64 v = 0;
	if (whole_len > (hex ? 64 : 20) ||
	    (whole_len > 0 && !whole_part(first, hex, whole_len, scale, &v)))
		return WHOLE_TOO_LARGE;
	if (scale < 0)
		return v == UINT64_MAX ? WHOLE_TOO_LARGE : WHOLE_NOT_WHOLE;
	*value = v;
	return WHOLE_OK;
}

const char *
read_whole(const char *s, u64 *value, int *status)
{
	double x;
	int n = -1;

	// NOLINTNEXTLINE(cert-err34-c): "%lf" decides what is a number and where it ends
	if (sscanf(s, "%lf%n", &x, &n) != 1 || n < 0)
		return nullptr;
	const char *p = s, *end = s + n;
	while (is_space(*p))
		p++;
	const bool minus = *p == '-';
	if (*p == '+' || *p == '-')
		p++;
	*value = 0;
	if (*p == 'i' || *p == 'I')
		*status = minus ? WHOLE_NOT_WHOLE : WHOLE_TOO_LARGE;
	else if (*p == 'n' || *p == 'N')
		*status = WHOLE_NOT_WHOLE;
	else
		*status = judge(p, end, minus, value);
	return end;
}
