/*
 * Factorization lines written without printf: numbers in groups of four
 * digits from a table, the text after each factor from another, and a
 * counter for the consecutive numbers of a range.
 */
#include "line.h"

#include <cstdint>
#include <cstring>

#include "digits.h"
#include "factor.h"

/* Writes group g, padded if padded is 1; may write scratch past it. */
static inline char *
put_group(char *p, uint64_t g, int padded)
{
	const char *t = digit_groups.text[padded][g];

	memcpy(p, t, 4);
	return p + t[7];
}

/* Writes v < 10^8 without leading zeros, nothing for 0, with no branch. */
static inline char *
put_short(char *p, uint32_t v)
{
	uint32_t hi = v / 10000;

	p = put_group(p, hi, 0);
	return put_group(p, v % 10000, hi != 0);
}

/* Writes 1 <= v < 10^16; may write scratch in the 4 bytes past it. */
static inline char *
put_digits(char *p, uint64_t v)
{
	if (v < 100000000)
		return put_short(p, (uint32_t)v);
	p = put_short(p, (uint32_t)(v / 100000000));
	v %= 100000000;
	p = put_group(p, v / 10000, 1);
	return put_group(p, v % 10000, 1);
}

/* Writes x as "%.0f" would, for integral 1 <= x < 10^16; see put_digits(). */
char *
put_number(char *p, double x)
{
	return put_digits(p, (uint64_t)(int64_t)x);
}

/*
 * What follows a factor with exponent e below MAX_EXPONENT (no number
 * below FACTOR_LIMIT has a factor to that power): "^e" unless e is 1,
 * then " * ", in the first bytes, and the length in the last.  Entry 0 is
 * empty.
 */
enum { MAX_EXPONENT = 47 };
static_assert((double)(1ULL << MAX_EXPONENT) >= FACTOR_LIMIT, "every exponent has a text");

struct exponent_table {
	char text[MAX_EXPONENT][8];
};

static constexpr exponent_table
make_exponent_table()
{
	exponent_table t{};

	for (int e = 1; e < MAX_EXPONENT; e++) {
		int n = 0;
		if (e > 1)
			t.text[e][n++] = '^';
		if (e >= 10)
			t.text[e][n++] = (char)('0' + e / 10);
		if (e > 1)
			t.text[e][n++] = (char)('0' + e % 10);
		t.text[e][n++] = ' ';
		t.text[e][n++] = '*';
		t.text[e][n++] = ' ';
		t.text[e][7] = (char)n;
	}
	return t;
}

static constexpr exponent_table exponent_texts = make_exponent_table();

/* Factors before the last written without a branch on their count. */
enum { FIXED_FACTORS = 3 };

/* Writes v with exponent e, then " * ". */
static inline char *
put_factor(char *p, uint64_t v, int e)
{
	const char *t = exponent_texts.text[e];

	p = put_digits(p, v);
	memcpy(p, t, 8);
	return p + t[7];
}

/*
 * Each factor is followed by " * "; the last is taken back.  The count of
 * factors varies from line to line, so a branch on it is mispredicted: the
 * first FIXED_FACTORS before the last are written whether present or not,
 * absent ones as the empty text of 0 with exponent 0.  Those, below the
 * square root of the number, are mostly below 10^4: one table entry.
 */
char *
put_result(char *p, const double *fs, const int *es, int n)
{
	const int last = n - 1;

	for (int i = 0; i < FIXED_FACTORS; i++) {
		uint64_t in = -(uint64_t)(i < last);
		uint64_t v = (uint64_t)(int64_t)fs[i] & in;
		const char *t = exponent_texts.text[es[i] & (int)in];
		p = v < 10000 ? put_group(p, v, 0) : put_digits(p, v);
		memcpy(p, t, 8);
		p += t[7];
	}
	for (int i = FIXED_FACTORS; i < last; i++)
		p = put_factor(p, (uint64_t)(int64_t)fs[i], es[i]);
	if (n > 0)
		p = put_factor(p, (uint64_t)(int64_t)fs[last], es[last]) - 3;
	*p++ = '\n';
	return p;
}

static const char equals[3] = {' ', '=', ' '};

char *
format_line(char *p, double x)
{
	p = put_number(p, x);
	memcpy(p, equals, sizeof equals);
	factor_number(x);
	return put_result(p + 3, factors, exponents, factor_count);
}

/*
 * The counter: its digits above the last four as text, which changes once
 * in 10^4 lines, and the last four as a group.
 */
static char count_high[16];
static int count_high_len;
static uint64_t count_high_value;
static uint32_t count_low;

static void
set_count_high(uint64_t high)
{
	count_high_value = high;
	count_high_len = high == 0 ? 0 : (int)(put_digits(count_high, high) - count_high);
}

void
count_from(double x)
{
	uint64_t v = (uint64_t)(int64_t)x;

	set_count_high(v / 10000);
	count_low = (uint32_t)(v % 10000);
}

char *
put_count(char *p)
{
	memcpy(p, count_high, sizeof count_high);
	p = put_group(p + count_high_len, count_low, count_high_len != 0);
	memcpy(p, equals, sizeof equals);
	if (++count_low == 10000) {
		count_low = 0;
		set_count_high(count_high_value + 1);
	}
	return p + 3;
}
