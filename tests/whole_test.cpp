/*
 * read_whole(): each form of number text, the statuses and which comes
 * first, the end of the text against what "%lf%n" takes, and random texts
 * against the double "%lf" reads where that is exact, and against a slow
 * exact reader throughout.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "whole_reference.h"

typedef uint64_t u64;

static const u64 max64 = UINT64_MAX;
static const u64 two53 = (u64)1 << 53;

struct reading {
	std::string text;
	int status;
	u64 value;
};

/* The end "%lf%n" gives s, or nullptr where it finds no number. */
static const char *
scanf_end(const char *s, double *d)
{
	int n = -1;

	// NOLINTNEXTLINE(cert-err34-c): "%lf" is what read_whole() must match
	return sscanf(s, "%lf%n", d, &n) == 1 ? s + n : nullptr;
}

/* How the double d would be judged: too large from 2^64, as 2^64 - 1 rounds to it. */
static int
double_status(double d, u64 *value)
{
	*value = 0;
	if (d >= 18446744073709551616.0)
		return WHOLE_TOO_LARGE;
	if (!(d >= 0) || fmod(d, 1.0) != 0)
		return WHOLE_NOT_WHOLE;
	*value = (u64)d;
	return WHOLE_OK;
}

/*
 * Reads s, which must end where "%lf" ends it and agree with the slow
 * reader; the status, or -1 for no number, and the value in *value.
 */
static int
read_checked(const std::string &s, u64 *value, double *d = nullptr)
{
	double x = 0;
	int status = -1;
	u64 want = 0;
	const char *end = read_whole(s.c_str(), value, &status);
	EXPECT_EQ(end, scanf_end(s.c_str(), &x)) << '"' << s << '"';
	if (d)
		*d = x;
	if (!end)
		return -1;
	const int ref = reference_whole(std::string(s.c_str(), end), &want);
	if (ref >= 0) {
		EXPECT_EQ(status, ref) << '"' << s << '"';
		EXPECT_EQ(*value, want) << '"' << s << '"';
	}
	return status;
}

static void
expect_readings(const std::vector<reading> &rs)
{
	for (const reading &r : rs) {
		u64 v = 7;
		EXPECT_EQ(read_checked(r.text, &v), r.status) << '"' << r.text << '"';
		EXPECT_EQ(v, r.value) << '"' << r.text << '"';
	}
}

TEST(Whole, Forms)
{
	expect_readings({{"18446744073709551615", WHOLE_OK, max64}, {"0", WHOLE_OK, 0},
	    {"-0", WHOLE_OK, 0}, {"-0.0e5", WHOLE_OK, 0}, {"0x0p99", WHOLE_OK, 0},
	    {"0x.", WHOLE_OK, 0}, {"1e9", WHOLE_OK, 1000000000},
	    {"1e19", WHOLE_OK, 10000000000000000000u}, {"0x10", WHOLE_OK, 16},
	    {"+12", WHOLE_OK, 12}, {" \t\n12", WHOLE_OK, 12}, {"1.5e3", WHOLE_OK, 1500},
	    {"100e-2", WHOLE_OK, 1}, {"0x1p4", WHOLE_OK, 16}, {"000123", WHOLE_OK, 123},
	    {"1.000", WHOLE_OK, 1}, {"5.", WHOLE_OK, 5}, {".5E1", WHOLE_OK, 5},
	    {"1e+", WHOLE_OK, 1}, {"1e5-3", WHOLE_OK, 100000}, {"0x1P", WHOLE_OK, 1},
	    {"0XaBp-0", WHOLE_OK, 171}, {"0x.8p1", WHOLE_OK, 1}, {"0x1.8p1", WHOLE_OK, 3},
	    {"0x1e5", WHOLE_OK, 485}, {"0x1p63", WHOLE_OK, (u64)1 << 63},
	    {"0xFFFFFFFFFFFFFFFF", WHOLE_OK, max64}, {"0x1fffffffffffffffep-1", WHOLE_OK, max64},
	    {"0xffff.ffffffffffffp48", WHOLE_OK, max64},
	    {"1844674407370955161.5e1", WHOLE_OK, max64},
	    {"0.18446744073709551615e20", WHOLE_OK, max64},
	    {"9007199254740991", WHOLE_OK, two53 - 1}, {"9007199254740992", WHOLE_OK, two53},
	    {"9007199254740993", WHOLE_OK, two53 + 1}, {"0x20000000000001", WHOLE_OK, two53 + 1},
	    {"90071992547409930e-1", WHOLE_OK, two53 + 1}});
}

/* Too large comes first, for the positive numbers it applies to. */
TEST(Whole, Statuses)
{
	expect_readings({{"1.5", WHOLE_NOT_WHOLE, 0}, {"1e-1", WHOLE_NOT_WHOLE, 0},
	    {"0x1p-1", WHOLE_NOT_WHOLE, 0}, {"0x.1p3", WHOLE_NOT_WHOLE, 0},
	    {"0x1.1", WHOLE_NOT_WHOLE, 0}, {"18446744073709551614.5", WHOLE_NOT_WHOLE, 0},
	    {"18446744073709551614.999", WHOLE_NOT_WHOLE, 0}, {"-1", WHOLE_NOT_WHOLE, 0},
	    {"-0.5", WHOLE_NOT_WHOLE, 0}, {"-0x1p70", WHOLE_NOT_WHOLE, 0},
	    {"-1e30", WHOLE_NOT_WHOLE, 0}, {"-18446744073709551616.5", WHOLE_NOT_WHOLE, 0},
	    {"nan", WHOLE_NOT_WHOLE, 0}, {"-NaN", WHOLE_NOT_WHOLE, 0},
	    {"nan(1)", WHOLE_NOT_WHOLE, 0}, {"-inf", WHOLE_NOT_WHOLE, 0},
	    {"-Infinity", WHOLE_NOT_WHOLE, 0}, {"18446744073709551616", WHOLE_TOO_LARGE, 0},
	    {"99999999999999999999", WHOLE_TOO_LARGE, 0}, {"1e20", WHOLE_TOO_LARGE, 0},
	    {"1.8446744073709551616e19", WHOLE_TOO_LARGE, 0}, {"0x1p64", WHOLE_TOO_LARGE, 0},
	    {"0x10000000000000000", WHOLE_TOO_LARGE, 0}, {"inf", WHOLE_TOO_LARGE, 0},
	    {"+INFINITY", WHOLE_TOO_LARGE, 0}, {"18446744073709551615.5", WHOLE_TOO_LARGE, 0},
	    {"18446744073709551615.000000000000000000001", WHOLE_TOO_LARGE, 0},
	    {"0xffffffffffffffff.8", WHOLE_TOO_LARGE, 0},
	    {"0x1.0000000000000001p64", WHOLE_TOO_LARGE, 0},
	    {"100000000000000000000.5", WHOLE_TOO_LARGE, 0}});
}

TEST(Whole, LongTexts)
{
	const std::string zeros(300, '0'), nines(400, '9'), max = "18446744073709551615";
	const std::string far(2000, '0');
	expect_readings({{"0." + far + "1e2001", WHOLE_OK, 1}, {"1" + far + "e-2000", WHOLE_OK, 1},
	    {"1" + far + "e-1980", WHOLE_TOO_LARGE, 0}, {zeros + max, WHOLE_OK, max64},
	    {"1" + zeros + "e-300", WHOLE_OK, 1}, {"0." + zeros + "1e301", WHOLE_OK, 1},
	    {"0." + zeros + "1e300", WHOLE_NOT_WHOLE, 0}, {max + zeros + "e-300", WHOLE_OK, max64},
	    {max + zeros + "1e-301", WHOLE_TOO_LARGE, 0},
	    {"18446744073709551614" + zeros + "1e-301", WHOLE_NOT_WHOLE, 0},
	    {nines, WHOLE_TOO_LARGE, 0}, {nines + "e-380", WHOLE_TOO_LARGE, 0},
	    {nines + "e-381", WHOLE_NOT_WHOLE, 0},
	    {"0x" + std::string(16, 'f') + zeros + "p-1200", WHOLE_OK, max64},
	    {"0x" + zeros + "1p1" + zeros, WHOLE_TOO_LARGE, 0},
	    {"1e999999999999", WHOLE_TOO_LARGE, 0}, {"1e-999999999999", WHOLE_NOT_WHOLE, 0},
	    {"1e" + nines, WHOLE_TOO_LARGE, 0}, {"1e-" + nines, WHOLE_NOT_WHOLE, 0},
	    {"0x1p-" + nines, WHOLE_NOT_WHOLE, 0}, {"0e99999", WHOLE_OK, 0},
	    {"0.000e" + nines, WHOLE_OK, 0}, {"-0e-" + nines, WHOLE_OK, 0}});
}

/*
 * Where "%lf" takes a number and where it ends, as glibc has it: an
 * exponent without digits is taken and ignored, "0x" needs a digit or a
 * point, "nan(...)" ends after "nan".
 */
TEST(Whole, Extents)
{
	const char *texts[] = {"1e", "1e+", "1e-", "1.e", "1e+-3", "1e5e3", "1e0x5", "1..2",
	    "1.5.3", "5.", ".", "-.5", "+.e1", ".e1", "e5", "-", "+", "", " ", "+-1", "- 1", "0x",
	    "0X", "-0x", "0xx", "0xg", "0x.", "0x.p1", "0xp1", "0x1p", "0x1p+", "0x1p-2", "0x1p1p1",
	    "0x0x1", "0x-1", "0x1.8.1", "00x1", "infinity", "infinit", "infin", "inf", "INFx", "in",
	    "nan(123)", "nan(", "na", "  +12", "\v\f\r7", "1,5", "1'000", "1 000", "\2401",
	    "1e5-3"};
	for (const char *t : texts) {
		u64 v;
		read_checked(t, &v);
	}
	/* A range "A-B": the first number ends before the dash. */
	u64 a = 0, b = 0;
	int status = -1;
	const char *end = read_whole("1e5-0x10", &a, &status);
	ASSERT_NE(end, nullptr);
	EXPECT_EQ(*end, '-');
	EXPECT_NE(read_whole(end + 1, &b, &status), nullptr);
	EXPECT_EQ(a, 100000u);
	EXPECT_EQ(b, 16u);
}

/* Texts whose double rounds: the exact reading differs from the double's. */
TEST(Whole, Rounding)
{
	const std::vector<reading> rs = {{"9007199254740993", WHOLE_OK, two53 + 1},
	    {"0x20000000000001", WHOLE_OK, two53 + 1}, {"18446744073709551615", WHOLE_OK, max64},
	    {"18446744073709551557", WHOLE_OK, max64 - 58},
	    {"9007199254740992.5", WHOLE_NOT_WHOLE, 0},
	    {"0.99999999999999999999", WHOLE_NOT_WHOLE, 0},
	    {"0x1.00000000000001p53", WHOLE_NOT_WHOLE, 0}};
	for (const reading &r : rs) {
		u64 got = 7, rounded = 7;
		double d;
		EXPECT_EQ(read_checked(r.text, &got, &d), r.status) << r.text;
		EXPECT_EQ(got, r.value) << r.text;
		EXPECT_TRUE(double_status(d, &rounded) != r.status || rounded != r.value) << r.text;
	}
}

static std::mt19937_64 rng(20260108);

static char
pick(const char *set)
{
	return set[rng() % strlen(set)];
}

/*
 * A random text of a number, with something after it at times; *exact
 * where its double is exact when whole and not whole when not: at most 13
 * hexadecimal or 15 decimal digits, 52 bits, and a moderate exponent.
 */
static std::string
random_text(bool *exact)
{
	const bool hex = rng() % 3 == 0;
	const int most = (*exact = rng() % 4 != 0) ? (hex ? 13 : 15) : 60;
	std::string s;

	if (rng() % 8 == 0)
		s += pick(" \t\n");
	if (rng() % 3 == 0)
		s += pick("+-");
	if (hex)
		s += rng() % 2 ? "0x" : "0X";
	const int len = (int)(rng() % (most + 1)), point = (int)(rng() % (len + 2)) - 1;
	const int zeros = (int)(rng() % 4 == 0 ? rng() % (len + 1) : 0);
	for (int i = 0; i < len; i++) {
		if (i == point)
			s += '.';
		s += i < zeros ? '0' : pick(hex ? "0123456789abcdefABCDEF" : "0123456789");
	}
	if (point == len)
		s += '.';
	if (rng() % 2) {
		s += hex ? pick("pP") : pick("eE");
		if (rng() % 2)
			s += pick("+-");
		if (rng() % 8)
			s += std::to_string(rng() % (hex ? 90 : 40));
	}
	if (rng() % 4 == 0)
		s += pick(hex ? ".pPx+- " : ".eEx+- ");
	return s;
}

TEST(Whole, RandomTexts)
{
	int exact_cases = 0;
	for (int i = 0; i < 40000; i++) {
		bool exact;
		const std::string s = random_text(&exact);
		u64 got = 7, want = 7;
		double d;
		const int status = read_checked(s, &got, &d);
		if (status < 0 || !exact || d >= (double)two53)
			continue;
		EXPECT_EQ(status, double_status(d, &want)) << s;
		EXPECT_EQ(got, want) << s;
		exact_cases += status == WHOLE_OK && got > 0;
	}
	EXPECT_GT(exact_cases, 1000);
}
