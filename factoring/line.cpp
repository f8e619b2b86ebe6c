#include "line.h"

#include <cstdint>
#include <cstring>

#include "factor.h"

/* The text of every v < 10^4 in its first bytes, its length in the last. */
struct digit_table {
	char text[10000][8];
};

static constexpr digit_table
make_digit_table()
{
	digit_table d{};

	for (int v = 0; v < 10000; v++) {
		int len = 1 + (v >= 10) + (v >= 100) + (v >= 1000);
		for (int k = 0, div = 1; k < len; k++, div *= 10)
			d.text[v][len - 1 - k] = (char)('0' + v / div % 10);
		d.text[v][7] = (char)len;
	}
	return d;
}

static constexpr digit_table small_texts = make_digit_table();

/* The four digits of every v < 10^4, with leading zeros. */
struct padded_table {
	char text[10000][4];
};

static constexpr padded_table
make_padded_table()
{
	padded_table d{};

	for (int v = 0; v < 10000; v++)
		for (int k = 0, div = 1000; k < 4; k++, div /= 10)
			d.text[v][k] = (char)('0' + v / div % 10);
	return d;
}

static constexpr padded_table padded_texts = make_padded_table();

/*
 * The eight decimal digits of v < 10^8 as byte values 0 to 9, the most
 * significant in the lowest byte: v is split into halves of four digits,
 * those into pairs and the pairs into digits, every lane at once.
 */
static inline uint64_t
eight_digits(uint64_t v)
{
	uint64_t x = v / 10000 | (v % 10000) << 32;
	uint64_t y = (x * 10486 >> 20) & 0x0000007f0000007f;

	x = y | (x - y * 100) << 16;
	y = (x * 103 >> 10) & 0x000f000f000f000f;
	return y | (x - y * 10) << 8;
}

/* Stores the 8 bytes of d, the lowest first. */
static inline void
store8(char *p, uint64_t d)
{
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
	d = __builtin_bswap64(d);
#endif
	memcpy(p, &d, 8);
}

/* Writes the digits of v < 10^8 without leading zeros, v itself if 0. */
static inline char *
put_short(char *p, uint64_t v)
{
	uint64_t hi = v / 10000, lo = v % 10000;

	if (v < 10000) {
		memcpy(p, small_texts.text[v], 4);
		return p + small_texts.text[v][7];
	}
	memcpy(p, small_texts.text[hi], 4);
	p += small_texts.text[hi][7];
	memcpy(p, padded_texts.text[lo], 4);
	return p + 4;
}

/* Writes the digits of v < 10^16, and may write scratch in the 8 bytes past them. */
static inline char *
put_digits(char *p, uint64_t v)
{
	if (v < 100000000)
		return put_short(p, v);
	p = put_short(p, v / 100000000);
	store8(p, eight_digits(v % 100000000) + 0x3030303030303030);
	return p + 8;
}

/* Writes x as "%.0f" would, for integral 0 <= x < 10^16; see put_digits(). */
char *
put_number(char *p, double x)
{
	return put_digits(p, (uint64_t)(int64_t)x);
}

/*
 * What follows a factor with exponent e below 47 (2^47 exceeds every
 * admissible number): "^e" unless e is 1, then " * ", in the first bytes,
 * and the length in the last.
 */
struct exponent_table {
	char text[47][8];
};

static constexpr exponent_table
make_exponent_table()
{
	exponent_table t{};

	for (int e = 1; e < 47; e++) {
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

/* Each factor is followed by " * "; the last is taken back. */
char *
put_result(char *p)
{
	int n = factor_count;

	for (int i = 0; i < n; i++) {
		const char *t = exponent_texts.text[exponents[i]];
		p = put_digits(p, (uint64_t)(int64_t)factors[i]);
		memcpy(p, t, 8);
		p += t[7];
	}
	p -= n > 0 ? 3 : 0;
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
