/*
 * The filter's fast reader against its line-at-a-time path, without a test
 * framework, so that it also runs on cross builds under emulation, where
 * the portable path is the one taken.  Both paths of this build read texts
 * made to put every kind of line at every place of a block; the twins of
 * values are found against a plain loop.
 */
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

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
    std::string(15, '9'), std::string(14, '0') + "7", std::string(47, '0') + "7",
    std::string(48, '0') + "7", "9007199254740991", "9007199254740992"};

static std::string
digits(size_t len)
{
	std::string s;
	for (size_t i = 0; i < len; i++)
		s += (char)('0' + (i == 0 && len > 1 ? 1 + rng() % 9 : rng() % 10));
	return s;
}

/* The first cut bytes of text, the rest after them in the buffer. */
static void
check(const std::string &text, size_t shift, size_t cut = std::string::npos)
{
	static scan_fn *const scans[] = {scan_lines, scan_lines_generic};
	static const char *const names[] = {"scan_lines", "scan_lines_generic"};
	cut = std::min(cut, text.size());
	reading want = read_by_lines(text.substr(0, cut)), got;

	cases++;
	for (int k = 0; k < 2; k++) {
		if (read_by_scan(scans[k], text, cut, shift, &got) && got == want)
			continue;
		if (bad++ < 5) {
			std::string shown;
			for (char c : text.substr(0, 200))
				shown += c == '\n' ? std::string("\\n")
				    : c == '\0'    ? "\\0"
						   : std::string(1, c);
			(void)fprintf(stderr,
			    "twin_check: %s at shift %zu: %zu values, %zu others; "
			    "expected %zu and %zu, for \"%s\"\n",
			    names[k], shift, got.vals.size(), got.others.size(), want.vals.size(),
			    want.others.size(), shown.c_str());
		}
	}
}

/* Each odd line after k lines of len digits, at each place of a block. */
static void
check_odd_lines(void)
{
	for (size_t len : {1, 2, 6, 7, 8, 9, 14, 15}) {
		std::vector<std::string> odds(std::begin(odd_lines), std::end(odd_lines));
		/* Lines of the run's length, one byte just outside the digits. */
		for (char c : {'/', ':', ' ', '\0'}) {
			odds.push_back(digits(len));
			odds.back()[rng() % len] = c;
		}
		for (const std::string &odd : odds)
			for (size_t k = 0; k * (len + 1) < 140; k++) {
				std::string text;
				for (size_t i = 0; i < k; i++)
					text += digits(len) + '\n';
				text += odd + '\n';
				for (size_t i = 0; i < 20; i++)
					text += digits(len) + '\n';
				for (size_t shift = 0; shift < 64; shift++)
					check(text, shift);
			}
	}
}

/*
 * A text cut at each length, its last line without a newline, and the rest
 * of it in the buffer after the end: lines of any length, and a run.
 */
static void
check_cuts(void)
{
	std::string text, run;
	for (size_t i = 0; text.size() < 400; i++)
		text += i % 11 == 5 ? odd_lines[i % 19] + '\n' : digits(1 + rng() % 15) + '\n';
	while (run.size() < 400)
		run += digits(9) + '\n';
	for (const std::string &t : {text, run})
		for (size_t cut = 0; cut <= t.size(); cut++)
			for (size_t shift : {0, 1, 17, 63})
				check(t, shift, cut);
}

/*
 * Runs of one length that change length, twins across powers of 10, and
 * more lines than one scan reads.
 */
static void
check_runs(void)
{
	for (uint64_t top = 10; top <= 1000000000000000; top *= 10) {
		std::string text;
		for (uint64_t v = top - 3000; v < top + 3000 && v < 1000000000000000; v += 2)
			text += std::to_string(v) + '\n';
		for (size_t shift : {0, 5, 60})
			check(text, shift);
	}
	std::string text;
	for (size_t run = 0; run < 60; run++) {
		size_t len = 1 + rng() % 15, count = rng() % 200;
		for (size_t i = 0; i < count; i++)
			text += digits(len) + '\n';
	}
	check(text, 3);
}

/* Random texts of digits and newlines with now and then another byte. */
static void
check_random(void)
{
	static const char other[] = " \r\t+-.e\0x/:";
	for (int i = 0; i < 20000; i++) {
		std::string text;
		size_t len = rng() % 600, nl = 2 + rng() % 17;
		for (size_t k = 0; k < len; k++)
			text += rng() % nl == 0 ? '\n'
			    : rng() % 300 == 0  ? other[rng() % (sizeof other - 1)]
						: (char)('0' + rng() % 10);
		check(text, (size_t)rng() % 64);
	}
}

/* find_twins() on values of which about half are twins. */
static void
check_twins(void)
{
	static size_t (*const finds[])(const uint64_t *, size_t, uint32_t *) = {
	    find_twins, find_twins_generic};
	std::vector<uint64_t> vals(1 + 300 + 16);
	std::vector<uint32_t> at(300 + 16);

	for (int i = 0; i < 20000; i++) {
		size_t n = i < 100 ? (size_t)i % 50 : (size_t)rng() % 300;
		vals[0] = rng() % 1000;
		for (size_t k = 1; k <= n + 16; k++)
			vals[k] = vals[k - 1] + (rng() % 2 ? 2 : rng() % 5);
		std::vector<uint32_t> want;
		for (size_t k = 1; k <= n; k++)
			if (vals[k] == vals[k - 1] + 2)
				want.push_back((uint32_t)k - 1);
		for (auto find : finds) {
			size_t got = find(vals.data() + 1, n, at.data());
			cases++;
			if ((got != want.size() ||
				!std::equal(want.begin(), want.end(), at.begin())) &&
			    bad++ < 5)
				(void)fprintf(stderr,
				    "twin_check: %zu twins of %zu values, expected %zu\n", got, n,
				    want.size());
		}
	}
}

int
main()
{
	check_odd_lines();
	check_cuts();
	check_runs();
	check_random();
	check_twins();
	(void)printf("twin_check: %ld readings: %s; %s path\n", cases, bad ? "FAILED" : "agree",
	    scan_is_wide() ? "AVX-512" : "portable");
	return bad ? 1 : 0;
}
