#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "factor.h"
#include "line.h"

using u64 = std::uint64_t;
using u128 = unsigned __int128;

static std::string
line_of(double x)
{
	char buf[LINE_MAX_LEN];
	return std::string(buf, format_line(buf, x));
}

static u64
pow_mod(u64 b, u64 e, u64 m)
{
	u64 r = 1;
	for (b %= m; e != 0; e >>= 1, b = (u64)((u128)b * b % m))
		if (e & 1)
			r = (u64)((u128)r * b % m);
	return r;
}

/* Miller-Rabin with the first seven prime bases: exact below 3.4e14. */
static bool
is_prime(u64 n)
{
	static const u64 bases[] = {2, 3, 5, 7, 11, 13, 17};
	if (n < 2)
		return false;
	for (u64 p : bases)
		if (n % p == 0)
			return n == p;
	u64 d = n - 1;
	int s = 0;
	for (; d % 2 == 0; d /= 2)
		s++;
	for (u64 a : bases) {
		u64 x = pow_mod(a, d, n);
		if (x == 1 || x == n - 1)
			continue;
		int i = 1;
		for (; i < s; i++) {
			x = (u64)((u128)x * x % n);
			if (x == n - 1)
				break;
		}
		if (i == s)
			return false;
	}
	return true;
}

/* The table left by factor_number(x) is the factorization of x. */
static void
expect_factorization(u64 x)
{
	factor_number((double)x);
	u64 product = 1;
	for (int i = 0; i < factor_count; i++) {
		u64 p = (u64)factors[i];
		ASSERT_EQ((double)p, factors[i]) << x;
		ASSERT_TRUE(is_prime(p)) << x << ": " << p;
		ASSERT_GE(exponents[i], 1) << x;
		if (i > 0) {
			ASSERT_LT(factors[i - 1], factors[i]) << x;
		}
		for (int e = 0; e < exponents[i]; e++)
			product *= p;
	}
	ASSERT_EQ(product, x);
	ASSERT_EQ(nn, 1.0) << x;
}

TEST(FactorNumber, WorkedResults)
{
	struct {
		double x;
		const char *line;
		long calls;
	} cases[] = {
	    {1, "1 = \n", 52},
	    {12, "12 = 2^2 * 3\n", 52},
	    {121, "121 = 11^2\n", 52},
	    {169, "169 = 13^2\n", 52},
	    {210, "210 = 2 * 3 * 5 * 7\n", 52},
	    {211, "211 = 211\n", 52},
	    {1024, "1024 = 2^10\n", 52},
	    {70368744177664, "70368744177664 = 2^46\n", 52},
	    {99999999999999, "99999999999999 = 3^2 * 11 * 239 * 4649 * 909091\n", 1109},
	    {99999999999973, "99999999999973 = 99999999999973\n", 2285765},
	    {99999640000243, "99999640000243 = 9999973 * 9999991\n", 2285716},
	    {19999982, "19999982 = 2 * 9999991\n", 773},
	    {22262214404430,
		"22262214404430 = 2 * 3^2 * 5 * 7 * 11 * 13 * 17 * 19 * 23 * 29 * 31 * 37\n", 0},
	};
	for (const auto &c : cases) {
		EXPECT_EQ(line_of(c.x), c.line);
		if (c.calls != 0) {
			EXPECT_EQ(trial_count, c.calls) << c.line;
		}
	}
}

TEST(FactorNumber, WheelPrimesAlone)
{
	for (double p : {2.0, 3.0, 5.0, 7.0}) {
		factor_number(p);
		ASSERT_EQ(factor_count, 1);
		EXPECT_EQ(factors[0], p);
		EXPECT_EQ(exponents[0], 1);
	}
}

TEST(FactorNumber, SecondCallLeavesOnlyItsOwnResult)
{
	factor_number(22262214404430);
	ASSERT_EQ(factor_count, 12);
	factor_number(13);
	ASSERT_EQ(factor_count, 1);
	EXPECT_EQ(factors[0], 13);
	EXPECT_EQ(line_of(1), "1 = \n");
	EXPECT_EQ(factor_count, 0);
}

TEST(FactorNumber, EveryNumberUpTo200000)
{
	for (u64 x = 1; x <= 200000; x++)
		ASSERT_NO_FATAL_FAILURE(expect_factorization(x));
}

static u64
prime_below(u64 n)
{
	while (!is_prime(--n)) {
	}
	return n;
}

TEST(FactorNumber, HardNumbersBelow1e14)
{
	std::vector<u64> xs;
	for (u64 p = 100000000000000; xs.size() < 20;)
		xs.push_back(p = prime_below(p));
	for (u64 p = 10000000, i = 0; i < 20; i++) {
		u64 q = prime_below(p);
		u64 r = prime_below(q);
		xs.push_back(q * r);
		xs.push_back(q * q);
		p = r;
	}
	for (u64 base : {2, 3, 5, 7, 11, 13, 46411, 9999991}) {
		for (u64 x = base; x <= 99999999999999 / base; x *= base)
			xs.push_back(x * base);
	}
	for (u64 x : xs)
		ASSERT_NO_FATAL_FAILURE(expect_factorization(x));
}

TEST(FactorNumber, RandomNumbersBelow1e14)
{
	std::mt19937_64 rng(20261208);
	std::uniform_int_distribution<u64> below(1, 99999999999999);
	for (int i = 0; i < 300; i++)
		ASSERT_NO_FATAL_FAILURE(expect_factorization(below(rng)));
}
