/* The prime listing against primesieve's, at bounds that stress the sieve. */
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "primes.h"

static std::string listed;
static listing primes;

/* Appends the next batches of the listing, at most `batches` of them; returns how many there were.
 */
static int
take(int batches = 1 << 30)
{
	const uint32_t *ps;
	int n, k = 0;

	while (k < batches && (n = listing_next(&primes, &ps)) > 0) {
		EXPECT_LE(n, PRIME_BATCH);
		for (int i = 0; i < n; i++)
			listed += std::to_string(ps[i]) + "\n";
		k++;
	}
	return k;
}

static std::string
oracle(uint64_t m, uint64_t first = 0)
{
	std::string cmd = "primesieve " + std::to_string(first) + " " + std::to_string(m) + " -p",
		    out;
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
		listing_begin(&primes, 0, m);
		take();
		ASSERT_EQ(listed, oracle(m)) << "primes up to " << m;
	}
}

TEST(Primes, SpansAgreeWithAnIndependentLister)
{
	/*
	 * Spans that start inside a byte of 30 numbers, on a prime, past the
	 * presieved primes, across a segment's edge, and the last numbers
	 * below 2^32, where a listing's bytes and places are at their largest.
	 */
	const uint32_t seg = 30 << 15, top = UINT32_MAX;
	const uint32_t spans[][2] = {{1, 1}, {2, 2}, {3, 30}, {7, 7}, {24, 29}, {31, 31},
	    {157, 200}, {seg - 7, seg + 11}, {1000003, 1000003}, {999999937, 1000000100},
	    {123456789, 123456789 + 3 * seg}, {top - 4000000, top}, {top - 4, top},
	    {4294967291, top}, {4294967290, 4294967290}};
	for (const auto &s : spans) {
		listed.clear();
		listing_begin(&primes, s[0], s[1]);
		take();
		ASSERT_EQ(listed, oracle(s[1], s[0])) << "primes from " << s[0] << " to " << s[1];
	}
}

TEST(Primes, ListingsLeftPartwayDoNotDisturbTheNext)
{
	/*
	 * A listing left after a few batches, then another begun: each gives
	 * the prefix of the whole, and the whole comes again after.
	 */
	const uint32_t m = 9999991;
	listed.clear();
	listing_begin(&primes, 0, m);
	take();
	const std::string all = listed;
	for (int k : {1, 2, 37}) {
		listed.clear();
		listing_begin(&primes, 0, m);
		EXPECT_EQ(take(k), k);
		EXPECT_LT(listed.size(), all.size());
		EXPECT_EQ(all.compare(0, listed.size(), listed), 0) << "not a prefix after " << k;
		listed.clear();
		listing_begin(&primes, 0, k * 1000);
		take();
		EXPECT_EQ(listed, oracle(k * 1000))
		    << "a short listing begun after one left partway";
	}
	listed.clear();
	listing_begin(&primes, 0, m);
	EXPECT_GT(take(), 37);
	EXPECT_EQ(listed, all);
	const uint32_t *ps;
	EXPECT_EQ(listing_next(&primes, &ps), 0) << "a batch past the end";
}
