/* The fast paths against the plain library operations they replace. */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "factor.h"
#include "line.h"
#include "number.h"
#include "reference.h"
#include "wide.h"

using u64 = std::uint64_t;

static const double below_1e14 = 99999999999999;

static std::mt19937_64 rng(20261208);

static u64
uniform(u64 lo, u64 hi)
{
	return std::uniform_int_distribution<u64>(lo, hi)(rng);
}

/* Pairs (n, d) that sit on and next to exact divisibility. */
static std::vector<std::pair<double, double>>
adversarial_pairs()
{
	std::vector<std::pair<double, double>> v;
	for (int i = 0; i < 20000; i++) {
		u64 d = uniform(2, i % 2 ? 20000000 : 2000);
		u64 n = d * uniform(1, (u64)below_1e14 / d);
		for (u64 m : {n, n - 1, n + 1})
			if (m >= 1 && m <= (u64)below_1e14)
				for (u64 e : {d, d - 1, d + 1})
					v.push_back({(double)m, (double)e});
	}
	for (u64 p : {9999991ULL, 9999973ULL, 46411ULL, 3ULL, 7ULL, 11ULL})
		for (u64 n = p * p; n <= (u64)below_1e14; n *= p)
			for (u64 d : {p, p - 2, p + 2, p * p, p * p + 1})
				v.push_back({(double)n, (double)d});
	for (int a = 0; a <= 46; a++)
		for (int b = 1; b <= 47; b++)
			for (double k : {-1.0, 0.0, 1.0})
				v.push_back({std::ldexp(1, a), std::ldexp(1, b) + k});
	for (double n : {1.0, below_1e14, 99999999999973.0, 99999640000243.0})
		for (double d : {2.0, n, n - 1, n + 1, std::floor(n / 2), std::floor(std::sqrt(n))})
			if (d >= 2)
				v.push_back({n, d});
	return v;
}

TEST(Divisibility, AgreesWithFmod)
{
	auto pairs = adversarial_pairs();
	for (int i = 0; i < 200000; i++)
		pairs.push_back(
		    {(double)uniform(1, (u64)below_1e14), (double)uniform(2, 20000000)});
	for (auto [n, d] : pairs)
		ASSERT_EQ(divides(n, d), std::fmod(n, d) == 0) << (u64)n << " / " << (u64)d;
}

TEST(Divisibility, RevolutionScreenAgreesWithFmod)
{
	std::vector<std::pair<double, double>> cases;
	for (int i = 0; i < 50000; i++) {
		double base = 1 + 210 * (double)uniform(0, i % 2 ? 47620 : 20);
		double c = base + ref_offsets[uniform(0, 47)];
		u64 n = (u64)c * uniform(1, (u64)(below_1e14 / c));
		cases.push_back({(double)n, base});
		cases.push_back({(double)n + 1, base});
		cases.push_back({(double)uniform(1, (u64)below_1e14), base});
	}
	/* Many candidates of one revolution dividing at once, composites too. */
	cases.push_back({22262214404430, 1});
	cases.push_back({3710369067405, 1});
	cases.push_back({1448810778701, 1});
	cases.push_back({4405553009, 1});
	for (auto [n, base] : cases)
		ASSERT_EQ(wheel_hits(n, base), fmod_hits(n, base)) << (u64)n << " at " << base;
}

static std::string
fast_line(double x)
{
	char buf[LINE_MAX_LEN];
	return std::string(buf, format_line(buf, x));
}

TEST(Formatting, LinesAgreeWithPrintf)
{
	std::vector<double> xs = {1, 2, 9, 10, 99, 100, 1024, 70368744177664, 22262214404430,
	    below_1e14, 99999999999973, 1e13, 1e13 - 1};
	for (int i = 0; i < 20000; i++)
		xs.push_back((double)uniform(1, i % 2 ? 100000 : (u64)below_1e14));
	for (double x : xs)
		ASSERT_EQ(fast_line(x), printf_line(x));
}

TEST(Formatting, FilterValuesAgreeWithPrintf)
{
	std::vector<double> xs = {0.0, -0.0, 1, 9, 10, 9007199254740991.0, 9007199254740990.0,
	    999999999999999, 1000000000000000};
	for (int i = 0; i < 100000; i++)
		xs.push_back((double)(uniform(0, 9007199254740991ULL) >> uniform(0, 52)));
	for (double x : xs) {
		char got[32];
		ASSERT_EQ(std::string(got, put_value(got, x)), printf_value(x));
	}
}

static void
expect_same_reading(const std::string &line)
{
	std::string text = line;
	double fast = -1, ref = -1;
	bool fast_ok = read_value(line.data(), line.size(), &fast);
	bool ref_ok = get_number(text.c_str(), &ref);
	ASSERT_EQ(fast_ok, ref_ok) << "[" << line << "]";
	if (ref_ok) {
		ASSERT_EQ(fast, ref) << "[" << line << "]";
		ASSERT_EQ(std::signbit(fast), std::signbit(ref)) << "[" << line << "]";
	}
}

TEST(Reading, AgreesWithScanf)
{
	std::vector<std::string> lines = {"", " ", "0", "-0", "+0", "00", "7", "13 17", " 13",
	    "\t13", "13\r", "13abc", "2.5", "2.0", "-3", "1e3", "1e-3", "1e400", "-1e-400", "1e",
	    "1e+", "0x10", "0x", "0x1p4", "inf", "INF", "-inf", "nan", "nan(1)", "infinity", ".",
	    "-", "+", "+-1", "1.", ".5", "5.", "999999999999999", "1000000000000000",
	    "9007199254740991", "9007199254740992", "9007199254740993", "9007199254740991.0",
	    "9.007199254740991e15", "000000000000000000000000000000000000000000000007",
	    std::string("12\0003", 4), std::string("\0", 1), std::string(48, '9'),
	    std::string(15, '9'), std::string(16, '9'), std::string(15, '0') + "1"};
	const char alphabet[] = "0123456789 \t\r+-.eExXpPaAfFinN\v\f";
	for (int i = 0; i < 200000; i++) {
		std::string s;
		size_t len = uniform(0, i % 4 ? 18 : MAX_LINE);
		for (size_t k = 0; k < len; k++)
			s += i % 3 ? char('0' + uniform(0, 9))
				   : alphabet[uniform(0, sizeof alphabet - 2)];
		lines.push_back(s);
	}
	for (const auto &line : lines)
		ASSERT_NO_FATAL_FAILURE(expect_same_reading(line));
}

/*
 * The level the variants run at: the widest the CPU has, by the
 * compiler's own test of it, less what the C library's tunables took from
 * the loader's features.  The suites run again at levels 3 and 1 that way
 * (tests/CMakeLists.txt), where each variant must give what the plain
 * references give; this shows that those runs took the level asked.
 */
static int
level_left(void)
{
#ifdef QUARN_WIDE_VARIANTS
	const char *tunables = std::getenv("GLIBC_TUNABLES");
	int level = __builtin_cpu_supports("x86-64-v4") ? 4
	    : __builtin_cpu_supports("x86-64-v3")       ? 3
							: 1;

	if (tunables != nullptr && std::strstr(tunables, "-AVX2") != nullptr)
		return 1;
	if (tunables != nullptr && std::strstr(tunables, "-AVX512F") != nullptr && level > 3)
		return 3;
	return level;
#else
	return 1;
#endif
}

TEST(Wide, LevelFollowsTheFeaturesTheLoaderLeaves)
{
	EXPECT_EQ(wide_level(), level_left());
}
