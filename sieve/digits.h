/*
 * The text of every group of four digits v < 10^4, made at compile time,
 * for the two tools' writers of numbers: in the first bytes of an entry,
 * with its length in the last, in text[0] without leading zeros (and
 * empty for 0), in text[1] padded to four digits.
 */
#ifndef QUARN_DIGITS_H
#define QUARN_DIGITS_H

struct group_table {
	char text[2][10000][8];
};

static constexpr group_table
make_group_table()
{
	group_table t{};

	for (int v = 0; v < 10000; v++) {
		int len = v == 0 ? 0 : 1 + (v >= 10) + (v >= 100) + (v >= 1000);
		for (int k = 0, div = 1; k < 4; k++, div *= 10) {
			char digit = (char)('0' + v / div % 10);
			if (k < len)
				t.text[0][v][len - 1 - k] = digit;
			t.text[1][v][3 - k] = digit;
		}
		t.text[0][v][7] = (char)len;
		t.text[1][v][7] = 4;
	}
	return t;
}

/* Read-only data: no work at start-up, and pages touched only where read. */
alignas(64) inline constexpr group_table digit_groups = make_group_table();

#endif
