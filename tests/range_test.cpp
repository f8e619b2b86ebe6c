/* The primes of ranges against primesieve's, at places that stress the range sieve. */
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

#include "range.h"

static FILE *oracle;
static uint64_t compared_from, taken, wrong_at;
static bool agree;

/* Compares each prime with the oracle's next line as it comes. */
static void
take(uint64_t base, const uint32_t *offs, int n)
{
	for (int i = 0; i < n; i++) {
		uint64_t want = 0;
		if (base + offs[i] < compared_from)
			continue;
		if (agree && (fscanf(oracle, "%" SCNu64, &want) != 1 || want != base + offs[i])) {
			agree = false;
			wrong_at = base + offs[i];
		}
		taken++;
	}
}

/*
 * Lists start ... stop both ways, the oracle from `from` on; an empty
 * string when they agree.
 */
static std::string
differences(uint64_t start, uint64_t stop, uint64_t from = 0)
{
	compared_from = from > start ? from : start;
	std::string cmd =
	    "primesieve " + std::to_string(compared_from) + " " + std::to_string(stop) + " -p";
	uint64_t extra;

	oracle = popen(cmd.c_str(), "r");
	if (oracle == nullptr)
		return "cannot run " + cmd;
	agree = true;
	taken = 0;
	range_primes(start, stop, take);
	bool more = fscanf(oracle, "%" SCNu64, &extra) == 1;
	if (pclose(oracle) != 0)
		return "failed: " + cmd;
	if (!agree)
		return "prime " + std::to_string(taken) + " differs: " + std::to_string(wrong_at);
	if (more)
		return "missing from " + std::to_string(extra) + " on";
	return "";
}

static void
expect_agree(const uint64_t (*ranges)[2], size_t n)
{
	for (size_t i = 0; i < n; i++)
		EXPECT_EQ(differences(ranges[i][0], ranges[i][1]), "")
		    << ranges[i][0] << " ... " << ranges[i][1];
}

/* Bytes of 30 numbers in a segment, a chunk and a block of the sieve. */
static const uint64_t seg = 30 << 15, chunk = 30 << 19, block = 30ULL << 24;

TEST(Range, EndsOnAndBesidePrimesAndTheSmallest)
{
	static const uint64_t ranges[][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}, {2, 2},
	    {2, 3}, {3, 3}, {3, 4}, {4, 4}, {4, 5}, {5, 5}, {5, 7}, {6, 6}, {7, 7}, {0, 29},
	    {29, 31}, {30, 30}, {8, 22}, {23, 23}, {997, 1009}, {998, 1008}, {996, 1010},
	    {1000, 1000}, {5, 4}, {1009, 997}, {0, 100000}};
	expect_agree(ranges, sizeof ranges / sizeof ranges[0]);
}

TEST(Range, SegmentChunkAndBlockEdges)
{
	/*
	 * Segments are counted from the byte of the start: edges from 0 and
	 * from an odd start, where primes from 2^16 cross off by chunks and
	 * those from 2^20 by blocks.
	 */
	static const uint64_t ranges[][2] = {{0, seg - 1}, {0, seg}, {0, seg + 1},
	    {0, 2 * seg + 29}, {seg - 31, seg + 31}, {1000000007, 1000000007 + 3 * seg},
	    {4294967291, 4294967291 + chunk}, {1099511627791, 1099511627791 + chunk + 40}};
	expect_agree(ranges, sizeof ranges / sizeof ranges[0]);
	/* A second block: only the primes near its edge are listed again. */
	const uint64_t start = 1099511627776, edge = start + block;
	EXPECT_EQ(differences(start, edge + seg, edge - seg), "");
}

TEST(Range, SquaresOfSievingPrimes)
{
	/* 29, 31 and 65521: the first two and the last of the segment tier;
	 * 65537 and 1048573 the first and last of the chunk tier; 1048583
	 * the first of the block tier. */
	static const uint64_t ranges[][2] = {{840, 842}, {841, 841}, {960, 962},
	    {4293001440, 4293001442}, {4295098368, 4295098370}, {4295098369, 4295098369},
	    {1099509530328, 1099509530330}, {1099528404888, 1099528404890},
	    {1099528404889 - 1000000, 1099528404889 + 1000000}};
	expect_agree(ranges, sizeof ranges / sizeof ranges[0]);
}

TEST(Range, AroundTwoTo32AndTheLastBelowTwoTo53)
{
	static const uint64_t ranges[][2] = {{4294967296 - 2000000, 4294967296 + 2000000},
	    {RANGE_MAX - 30000000, RANGE_MAX}, {RANGE_MAX - 100, RANGE_MAX - 1},
	    {RANGE_MAX, RANGE_MAX}};
	expect_agree(ranges, sizeof ranges / sizeof ranges[0]);
}
