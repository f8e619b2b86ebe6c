/*
 * The filter's fast reader, both paths, against its line-at-a-time path on
 * texts that put every kind of line at every place of a block, and the
 * twins of the values read against a plain loop.  Without a test framework,
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

static void
check_twins(const std::vector<uint64_t> &vals)
{
	static uint64_t v[1 + SCAN_LINES + 16];
	static uint32_t at[SCAN_LINES + 16];

	for (size_t i = 0; i < vals.size(); i += SCAN_LINES) {
		size_t n = std::min(vals.size() - i, (size_t)SCAN_LINES), k;
		std::vector<uint32_t> want;
		v[0] = i > 0 ? vals[i - 1] : rng() % 2 ? vals[0] - 2 : 1ULL << 62;
		std::copy(vals.begin() + (long)i, vals.begin() + (long)(i + n), v + 1);
		for (size_t j = 0; j < n; j++)
			if (v[j + 1] == v[j] + 2)
				want.push_back((uint32_t)j);
		for (auto find : {find_twins, find_twins_generic})
			if ((k = find(v + 1, n, at)) != want.size() ||
			    !std::equal(want.begin(), want.end(), at))
				bad++;
	}
}

/* The first cut bytes of text, the rest after them in the buffer. */
static void
check(const std::string &text, size_t shift, size_t cut = std::string::npos)
{
	cut = std::min(cut, text.size());
	reading want = read_by_lines(text.substr(0, cut)), got;
	std::vector<uint64_t> vals;

	cases++;
	for (scan_fn *scan : {scan_lines, scan_lines_generic}) {
		if (!read_by_scan(scan, text, cut, shift, &got, &vals) || got != want) {
			if (bad++ < 5)
				(void)fprintf(stderr, "twin_check: %s, shift %zu: \"%s\"\n",
				    scan == scan_lines ? "scan_lines" : "scan_lines_generic", shift,
				    text.substr(0, std::min(cut, (size_t)100)).c_str());
		}
		check_twins(vals);
	}
}

/*
 * Each odd line, and lines of the run's length with one byte just outside
 * the digits, after k lines of len digits, at each place of a block.
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
 * Lines of any length and a run cut at each length, the last line without
 * its newline; runs that change length, twins across powers of 10, and
 * more lines than one scan reads.
 */
static void
check_cuts_and_runs(void)
{
	std::string text, run;
	for (size_t i = 0; text.size() < 400; i++)
		text += (i % 11 == 5 ? odd_lines[i % 18] : digits(1 + rng() % 15)) + '\n';
	while (run.size() < 400)
		run += digits(9) + '\n';
	for (const std::string &t : {text, run})
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
	check_random();
	(void)printf("twin_check: %ld readings: %s; %s path\n", cases, bad ? "FAILED" : "agree",
	    scan_is_wide() ? "AVX-512" : "portable");
	return bad ? 1 : 0;
}
