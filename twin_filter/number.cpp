/* The filter's numbers: a line read as a value, a value written as text. */
#include "number.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

/* Above 2^53 - 1 doubles skip integers, and "x + 2 == y" would lie. */
static const double max_exact = 9007199254740991.0;

/* Accepts text whose "%lf" value is a non-negative integer up to 2^53 - 1. */
bool
get_number(const char *text, double *cur)
{
	double v;

	// NOLINTNEXTLINE(cert-err34-c): "%lf" acceptance is the input grammar
	if (sscanf(text, "%lf", &v) != 1)
		return false;
	if (v < 0)
		return false;
	if (fmod(v, 1.0) != 0)
		return false;
	if (v > max_exact)
		return false;
	*cur = v;
	return true;
}

/*
 * Value of the run of decimal digits at p, before end, if it has 1 to 15
 * digits; returns its length, or 0 for any other run.  Below 10^15 the
 * conversion is exact, and "%lf" reads a bare digit run as that integer.
 */
size_t
digit_run(const char *p, const char *end, double *v)
{
	unsigned long long u = 0;
	const char *s = p;

	if (end - p > 16)
		end = p + 16;
	while (s < end && (unsigned char)(*s - '0') < 10)
		u = u * 10 + (unsigned)(*s++ - '0');
	if (s == p || s - p > 15)
		return 0;
	*v = (double)u;
	return (size_t)(s - p);
}

/* get_number() for a line of len <= MAX_LINE bytes, not NUL-terminated. */
bool
read_value(const char *line, size_t len, double *cur)
{
	char text[MAX_LINE + 1];

	if (len > 0 && digit_run(line, line + len, cur) == len)
		return true;
	memcpy(text, line, len);
	text[len] = '\0';
	return get_number(text, cur);
}

/* Eight digit bytes of x < 10^8, the first in the low byte: halves, quarters, eighths. */
static uint64_t
eight_places(uint64_t x)
{
	uint64_t y = x / 10000 | (x % 10000) << 32;
	uint64_t q = ((y * 10486) >> 20) & 0x0000007f0000007f;

	y = q | (y - q * 100) << 16;
	q = ((y * 103) >> 10) & 0x000f000f000f000f;
	return q | (y - q * 10) << 8;
}

/* Stores the eight bytes of x at p, the low byte first. */
static void
store_le(char *p, uint64_t x)
{
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
	x = __builtin_bswap64(x);
#endif
	memcpy(p, &x, sizeof x);
}

/*
 * Writes v < 10^16 in decimal; returns the end.  It may store up to 16
 * bytes from p.
 */
char *
put_integer(char *p, uint64_t v)
{
	const uint64_t ascii = 0x3030303030303030;
	uint64_t head = eight_places(v / 100000000), tail = eight_places(v % 100000000);
	unsigned skip;

	if (head != 0) {
		skip = (unsigned)__builtin_ctzll(head) / 8;
		store_le(p, (head >> 8 * skip) + ascii);
		p += 8 - skip;
		store_le(p, tail + ascii);
		return p + 8;
	}
	skip = tail != 0 ? (unsigned)__builtin_ctzll(tail) / 8 : 7;
	store_le(p, (tail >> 8 * skip) + ascii);
	return p + 8 - skip;
}

/* Writes x as "%.0f" would; x is integral, -0 or 0 <= x < 2^53. */
char *
put_value(char *p, double x)
{
	if (std::signbit(x))
		*p++ = '-';
	return put_integer(p, (uint64_t)fabs(x));
}
