/*
 * The filter's fast reader, both paths, against its line-at-a-time path on
 * texts that put every kind of line at every place of a chunk: the lines
 * it reads and the twins among them.  Without a test framework,
 * so that it also runs on cross builds under emulation, where the portable
 * path is the one taken.
 */
#include <algorithm>
#include <cstdio>
#include <random>

#include "scan_reference.h"

static std::mt19937_64 rng(20261209);
static long cases;
static int bad;

/* Lines that are not common, or common in an odd way. */
static const std::string odd_lines[] = {"", " 7", "7\r", "+7",
    std::string("7\0"
		"1",
	3),
    std::string(1, '\0'), "x", "7 9", "-0", "0", "007", "1e1", std::string(16, '1'),
    std::string(15, '9'), std::string(14, '0') + "7", std::string(48, '0') + "7",
    "9007199254740991", "9007199254740992"};

static std::string
digits(size_t len)
{
	std::string s(1, (char)('1' + rng() % 9));
	while (s.size() < len)
		s += (char)('0' + rng() % 10);
	return s;
}

/* The first cut bytes of text, the rest after them in the buffer. */
static void
check(const std::string &text, size_t shift, size_t cut = std::string::npos)
{
	cut = std::min(cut, text.size());
	reading want = read_by_lines(text.substr(0, cut)), got;

	cases++;
	for (scan_fn *scan : {scan_twins, scan_twins_generic}) {
		if (!read_by_scan(scan, text, cut, shift, &got) || got != want) {
			if (bad++ < 5)
				(void)fprintf(stderr, "twin_check: %s, shift %zu: \"%s\"\n",
				    scan == scan_twins ? "scan_twins" : "scan_twins_generic", shift,
				    text.substr(0, std::min(cut, (size_t)100)).c_str());
		}
	}
}

/*
 * Each odd line, and lines of the run's length with one byte just outside
 * the digits, after k lines of len digits, at each place of a chunk.
 */
static void
check_odd_lines(void)
{
	for (size_t len : {1, 2, 6, 7, 8, 9, 14, 15}) {
		std::vector<std::string> odds(std::begin(odd_lines), std::end(odd_lines));
		for (char c : {'/', ':', ' ', '\0'}) {
			odds.push_back(digits(len));
			odds.back()[rng() % len] = c;
		}
		for (const std::string &odd : odds)
			for (size_t k = 0; k * (len + 1) < 140; k++) {
				std::string text;
				for (size_t i = 0; i < k + 21; i++)
					text += (i == k ? odd : digits(len)) + '\n';
				for (size_t shift = 0; shift < 64; shift++)
					check(text, shift);
			}
	}
}

/*
 * Lines of any length, a run and a run read fused, cut at each length, the
 * last line without its newline; runs that change length, twins across
 * powers of 10, and more lines than one scan reads, of every length in
 * turn and of one or two digits.
 */
static void
check_cuts_and_runs(void)
{
	std::string text, run, fused;
	for (size_t i = 0; text.size() < 400; i++)
		text += (i % 11 == 5 ? odd_lines[i % 18] : digits(1 + rng() % 15)) + '\n';
	while (run.size() < 400)
		run += digits(9) + '\n';
	for (uint64_t v = 310000000; fused.size() < 1000; v += 2 + 2 * (rng() % 2))
		fused += std::to_string(v) + '\n';
	for (const std::string &t : {text, run, fused})
		for (size_t cut = 0; cut <= t.size(); cut++)
			check(t, cut % 64, cut);
	for (uint64_t top = 10; top <= 1000000000000000; top *= 10) {
		text.clear();
		for (uint64_t v = top > 3000 ? top - 3000 : 1; v < top + 3000; v += 2)
			text += std::to_string(v) + '\n';
		check(text, top % 61);
	}
	text.clear();
	for (size_t run = 0; run < 60; run++)
		for (size_t len = 1 + rng() % 15, i = rng() % 200; i > 0; i--)
			text += digits(len) + '\n';
	check(text, 3);
	std::string each_length, short_lines;
	for (size_t i = 0; i < 2 * SCAN_LINES + 100; i++) {
		each_length += digits(1 + i % 15) + '\n';
		short_lines += digits(1 + rng() % 2) + '\n';
	}
	for (size_t shift = 0; shift < 64; shift++) {
		check(short_lines, shift);
		if (shift % 16 == 0)
			check(each_length, shift);
	}
}

/* v in len digits, zeros before it. */
static std::string
padded(uint64_t v, size_t len)
{
	std::string s = std::to_string(v);
	return std::string(len - s.size(), '0') + s;
}

/*
 * Runs of one length, 7 to 15 digits, that the AVX-512 path reads fused
 * where their digits but the last seven stay the same, each at every place
 * of a chunk: steps of 2 and others, into a new prefix (the digits above
 * the last seven) with carries and with leading zeros; twins all along;
 * steps whose last seven digits are 2 more but the prefix is not the same;
 * last seven digits that overflow under one prefix; steps of 1 across a 9; the
 * prefix changing every few lines; and runs longer than one scan, some
 * ending just past it.
 */
static void
check_fused_runs(void)
{
	/* Where to begin, less the prefix times 10^7, and four steps. */
	static const long kinds[][5] = {{-300, 2, 4, 2, 6}, {-300, 2, 2, 2, 2},
	    {-300, 10000002, 10000002, 10000002, 10000002},
	    {-300, -9999998, -9999998, -9999998, -9999998},
	    {-2, -9999998, 9999999, -9999998, 9999997}, {-300, 1, 1, 1, 1},
	    {-300, 2, 2999998, 4, 3000002}};
	for (size_t len = 7; len <= 15; len++) {
		uint64_t top = 1;
		for (size_t i = 0; i < len; i++)
			top *= 10;
		for (const long *kind : kinds)
			for (uint64_t prefix : {top / 20000000 + 1, (uint64_t)1}) {
				std::string text;
				uint64_t v = prefix * 10000000 + (uint64_t)kind[0];
				if (kind[1] < 0 && prefix == 1)
					v += top / 2;
				for (size_t i = 0; i < 300 && v < top;
				     i++, v += (uint64_t)kind[1 + i % 4])
					text += padded(v, len) + '\n';
				for (size_t shift = 0; shift < 64; shift++)
					check(text, shift);
			}
	}
	/*
	 * Where a fused run may begin after a few lines: lines with a byte in
	 * the prefix that is not a digit; after the prefix is set, a line of
	 * another prefix whose last seven digits are 2 less than the next
	 * line's, and the line 2 less than the prefix's first.
	 */
	for (size_t len : {9, 12})
		for (size_t head = 1; head < 9; head++) {
			const uint64_t v = 310000000;
			std::string text, set, other = padded(v - 10000000, len) + '\n', less;
			for (size_t i = 0; i < 30; i++)
				set += padded(v + 1000 + 2 * i, len) + '\n';
			set += "x\n" + std::string(head, '\n');
			less = set + padded(v - 2, len) + '\n';
			other = set + other;
			for (size_t i = 0; i < head; i++)
				text += padded(v + 2 * i, len) + '\n';
			for (size_t i = 0; i < 20; i++) {
				std::string line = padded(v + 100 + 2 * i, len);
				line[1] = '/';
				text += line + '\n';
				other += padded(v + 2 + 2 * i, len) + '\n';
				less += padded(v + 2 * i, len) + '\n';
			}
			for (size_t shift = 0; shift < 64; shift++)
				for (const std::string *t : {&text, &other, &less})
					check(*t, shift);
		}
	for (size_t len : {7, 9, 15})
		for (size_t lines :
		    {2 * SCAN_LINES + 100, SCAN_LINES + 4, SCAN_LINES + 9, SCAN_LINES + 16}) {
			std::string text;
			for (uint64_t i = 0, v = 3000000; i < lines; i++, v += 2 + 2 * (rng() % 3))
				text += padded(v, len) + '\n';
			for (size_t shift : {0, 17, 63})
				check(text, shift);
		}
}

/* Random texts of digits and newlines with now and then another byte. */
static void
check_random(void)
{
	static const char other[] = " \r\t+-.e\0x/:";
	for (int i = 0; i < 20000; i++) {
		std::string text;
		for (size_t len = rng() % 600, nl = 2 + rng() % 17; text.size() < len;)
			text += rng() % nl == 0 ? '\n'
			    : rng() % 300 == 0  ? other[rng() % (sizeof other - 1)]
						: (char)('0' + rng() % 10);
		check(text, rng() % 64);
	}
}

int
main()
{
	check_odd_lines();
	check_cuts_and_runs();
	check_fused_runs();
	check_random();
	(void)printf("twin_check: %ld readings: %s; %s path\n", cases, bad ? "FAILED" : "agree",
	    scan_uses_avx512() ? "AVX-512" : "portable");
	return bad ? 1 : 0;
}
