#include "line.h"

#include <cstdint>
#include <cstring>

#include "factor.h"

static const char digit_pairs[] = "00010203040506070809"
				  "10111213141516171819"
				  "20212223242526272829"
				  "30313233343536373839"
				  "40414243444546474849"
				  "50515253545556575859"
				  "60616263646566676869"
				  "70717273747576777879"
				  "80818283848586878889"
				  "90919293949596979899";

static int
digit_count(uint64_t v)
{
	int n = 1;

	for (; v >= 10000; v /= 10000)
		n += 4;
	return n + (v >= 10) + (v >= 100) + (v >= 1000);
}

/*
 * Writes x as "%.0f" would.  x is integral and 0 <= x < 2^53, so the
 * conversion to an unsigned integer is exact.
 */
char *
put_number(char *p, double x)
{
	uint64_t v = (uint64_t)x;
	char *end = p + digit_count(v), *t = end;

	for (; v >= 100; v /= 100)
		memcpy(t -= 2, digit_pairs + 2 * (v % 100), 2);
	if (v >= 10)
		memcpy(t - 2, digit_pairs + 2 * v, 2);
	else
		t[-1] = (char)('0' + v);
	return end;
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

char *
put_result(char *p)
{
	for (int i = 0; i < factor_count; i++) {
		if (i > 0) {
			memcpy(p, " * ", 3);
			p += 3;
		}
		p = put_number(p, factors[i]);
		if (exponents[i] != 1)
			p = put_exponent(p, exponents[i]);
	}
	*p++ = '\n';
	return p;
}

char *
format_line(char *p, double x)
{
	p = put_number(p, x);
	memcpy(p, " = ", 3);
	factor_number(x);
	return put_result(p + 3);
}

/* The counter's digits, then " = ". */
static char count_text[24];
static int count_len;

void
count_from(double x)
{
	count_len = (int)(put_number(count_text, x) - count_text);
	memcpy(count_text + count_len, " = ", 3);
}

char *
put_count(char *p)
{
	int i = count_len - 1;

	memcpy(p, count_text, sizeof count_text);
	p += count_len + 3;
	for (; i >= 0 && count_text[i] == '9'; i--)
		count_text[i] = '0';
	if (i >= 0) {
		count_text[i]++;
	} else {
		count_text[0] = '1';
		count_text[count_len++] = '0';
		memcpy(count_text + count_len, " = ", 3);
	}
	return p;
}
