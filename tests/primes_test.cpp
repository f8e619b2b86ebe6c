/* The prime listing against primesieve's, at bounds that stress the sieve. */
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "primes.h"

static std::string listed;

static bool
take(const uint32_t *ps, int n)
{
	for (int i = 0; i < n; i++)
		listed += std::to_string(ps[i]) + "\n";
	return true;
}

static std::string
oracle(uint32_t m)
{
	std::string cmd = "primesieve " + std::to_string(m) + " -p", out;
	char buf[1 << 16];
	size_t n;
	FILE *f = popen(cmd.c_str(), "r");

	if (f == nullptr)
		return "cannot run " + cmd;
	while ((n = fread(buf, 1, sizeof buf, f)) > 0)
		out.append(buf, n);
	return pclose(f) == 0 ? out : "failed: " + cmd;
}

TEST(Primes, AgreeWithAnIndependentLister)
{
	/*
	 * Small bounds and the presieved primes; squares of sieving primes
	 * and their neighbours; the edges of the first and second segments
	 * of 2^15 bytes of 30 numbers; the largest bound used.
	 */
	const uint32_t seg = 30 << 15;
	const uint32_t bounds[] = {0, 1, 2, 3, 4, 5, 6, 7, 23, 29, 30, 31, 120, 240, 241, 840, 841,
	    842, 961, 3162, 46415, 46416, seg - 1, seg, seg + 1, 2 * seg - 1, 2 * seg + 29,
	    991 * 991, 3137 * 3137, 9999991, 9999999};
	for (uint32_t m : bounds) {
		listed.clear();
		list_primes(m, take);
		ASSERT_EQ(listed, oracle(m)) << "primes up to " << m;
	}
}

static int batches, stop_after;

/* Lists as take() does, and asks for no more after stop_after batches. */
static bool
take_some(const uint32_t *ps, int n)
{
	take(ps, n);
	return ++batches < stop_after;
}

TEST(Primes, StopWhereTakeHasEnough)
{
	/* The batches before the stop, each whole, and no call after it. */
	const uint32_t m = 9999991;
	listed.clear();
	list_primes(m, take);
	const std::string all = listed;
	for (int k : {1, 2, 37}) {
		listed.clear();
		batches = 0;
		stop_after = k;
		list_primes(m, take_some);
		EXPECT_EQ(batches, k);
		EXPECT_LT(listed.size(), all.size());
		EXPECT_EQ(all.compare(0, listed.size(), listed), 0) << "not a prefix after " << k;
	}
}
