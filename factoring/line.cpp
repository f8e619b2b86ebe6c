#include "line.h"

#include "factor.h"

/*
 * Writes x as "%.0f" would.  x is integral and 0 <= x < 2^53, so the
 * conversion to an unsigned integer is exact.
 */
char *
put_number(char *p, double x)
{
	char tmp[20];
	char *t = tmp + sizeof tmp;
	unsigned long long v = (unsigned long long)x;

	do {
		*--t = (char)('0' + v % 10);
		v /= 10;
	} while (v != 0);
	while (t < tmp + sizeof tmp)
		*p++ = *t++;
	return p;
}

/* Exponents stay below 47: 2^47 exceeds every admissible number. */
static char *
put_exponent(char *p, int e)
{
	*p++ = '^';
	if (e >= 10)
		*p++ = (char)('0' + e / 10);
	*p++ = (char)('0' + e % 10);
	return p;
}

/* Factors x and writes "x = f^e * f ..." and a newline at p; returns the end. */
char *
format_line(char *p, double x)
{
	p = put_number(p, x);
	*p++ = ' ';
	*p++ = '=';
	*p++ = ' ';
	factor_number(x);
	for (int i = 0; i < factor_count; i++) {
		if (i > 0) {
			*p++ = ' ';
			*p++ = '*';
			*p++ = ' ';
		}
		p = put_number(p, factors[i]);
		if (exponents[i] != 1)
			p = put_exponent(p, exponents[i]);
	}
	*p++ = '\n';
	return p;
}
