#include "number.h"

#include <cmath>
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

/* Writes x as "%.0f" would; x is integral, -0 or 0 <= x < 2^53. */
char *
put_value(char *p, double x)
{
	char tmp[20];
	char *t = tmp + sizeof tmp;
	unsigned long long v = (unsigned long long)fabs(x);

	if (std::signbit(x))
		*p++ = '-';
	do {
		*--t = (char)('0' + v % 10);
		v /= 10;
	} while (v != 0);
	memcpy(p, t, (size_t)(tmp + sizeof tmp - t));
	return p + (tmp + sizeof tmp - t);
}
