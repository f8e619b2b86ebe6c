/* The block routine's lines against factor_number's, range by range. */
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "block.h"
#include "large.h"
#include "reference.h"

using u64 = std::uint64_t;

static const u64 top = 99999999999999;

static void
expect_same_lines(u64 start, u64 end, int how = 0)
{
	std::string got = block_lines(start, end, how), want = number_lines(start, end);
	size_t at = 0;

	while (at < got.size() && at < want.size() && got[at] == want[at])
		at++;
	if (at == got.size() && at == want.size())
		return;
	at = want.rfind('\n', at) + 1;
	FAIL() << "range " << start << " ... " << end << ": got\n"
	       << got.substr(at, got.find('\n', at) - at) << "\nexpected\n"
	       << want.substr(at, want.find('\n', at) - at);
}

TEST(Blocks, EdgesOfBlocksAndSegments)
{
	/* From 10^10 on the large primes take part; 3 * 10^9 is cheap for the reference. */
	for (u64 len : {BLOCK_LEN - 1, BLOCK_LEN + 0, BLOCK_LEN + 1, 2 * BLOCK_LEN + 1})
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(10000000000, 10000000000 + len - 1));
	ASSERT_NO_FATAL_FAILURE(expect_same_lines(3000000000, 3000000000 + SEGMENT_LEN));
	/* A range sieved afresh, then one served by the listing above. */
	ASSERT_NO_FATAL_FAILURE(expect_same_lines(top - 100, top));
	ASSERT_NO_FATAL_FAILURE(expect_same_lines(2900000000, 2900000100));
	ASSERT_NO_FATAL_FAILURE(expect_same_lines(1, BLOCK_LEN + 1));
	/* The line numbers gain a digit above their last four. */
	for (u64 power : {100000000ULL, 1000000000000ULL, 10000000000000ULL})
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(power - 1000, power + 1000));
	ASSERT_NO_FATAL_FAILURE(expect_same_lines(top - 999, top));
}

TEST(Blocks, SecondSegmentOfOneNumber)
{
	/*
	 * The one number of the second segment is 54779 * 54787: only a
	 * listing of the large primes lets that segment find 54779.  Both
	 * factors lie above the root of every range listed before, so no
	 * earlier listing can stand in.
	 */
	const u64 last = 54779ULL * 54787;
	ASSERT_NO_FATAL_FAILURE(expect_same_lines(last - SEGMENT_LEN, last));
}

TEST(Blocks, SquaresAndPowersOfLargeFactors)
{
	/*
	 * 9999991^2, the largest prime square; 2^46; 46381 * 46399 * 46411,
	 * three primes just below the large ones; 46411^2 and twice it.
	 */
	const u64 centres[] = {
	    99999820000081, 70368744177664, 99877958033809, 2153980921, 2 * 2153980921ULL};
	for (u64 c : centres)
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(c - 200, c + 200));
}

TEST(Blocks, RandomRanges)
{
	std::mt19937_64 rng(20261208);
	for (u64 low = 100000; low <= top / 10; low *= 10)
		for (int i = 0; i < 2; i++) {
			u64 len = std::uniform_int_distribution<u64>(1, 500)(rng);
			u64 start = std::uniform_int_distribution<u64>(low, 10 * low - len)(rng);
			ASSERT_NO_FATAL_FAILURE(expect_same_lines(start, start + len - 1));
		}
}

TEST(Blocks, ListingKeptForTheRangesThatFollow)
{
	/* As in the dialogue: windows of any size in turn, one listing. */
	const u64 centres[] = {99999999999973, 10000000019, 999999999989, 99991, 31, 99999999999989,
	    2153980921, 70368744177664};
	for (u64 c : centres)
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(c > 10 ? c - 10 : 1, c + 10, BLOCK_KEPT));
}

TEST(Blocks, KeptListDroppedAndMadeAgain)
{
	/*
	 * 99991 * 99989 needs the large primes up to 99989, 9999991 * 9999973
	 * those below 10^7.  Dropped, the list is made again for 10 digits,
	 * then lengthened for 14; a range that does not ask for it lists its
	 * own primes meanwhile.
	 */
	const u64 ten = 99991ULL * 99989, fourteen = 9999991ULL * 9999973;
	for (int round = 0; round < 2; round++) {
		ASSERT_NO_FATAL_FAILURE(
		    expect_same_lines(fourteen - 10, fourteen + 10, BLOCK_KEPT));
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(ten - 10, ten + 10, BLOCK_KEPT));
		large_drop();
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(ten - 10, ten + 10, BLOCK_KEPT));
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(fourteen - 10, fourteen + 10));
		ASSERT_NO_FATAL_FAILURE(
		    expect_same_lines(fourteen - 10, fourteen + 10, BLOCK_KEPT));
		large_drop();
	}
}

/*
 * A range of one block stops listing or marking the large primes once its
 * numbers are resolved.  Each case is a window and the number alone: the
 * prime 99999999999973 needs every prime up to its root; 46439 * q is
 * resolved by the first large prime, 100003 * q between two batches;
 * 9999973^2 by the last prime below 10^7; 46381^2 * 46471 lies near
 * 46416^3, where a number has at most two large factors.
 */
static const u64 resolved_late_or_early[] = {
    99999999999973, 99999998397599, 99999999009973, 99999460000729, 99968283268831};

static void
expect_windows_and_numbers(int how)
{
	for (u64 c : resolved_late_or_early) {
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(c - 10, c + 10, how));
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(c, c, how));
	}
}

TEST(Blocks, StopWhereResolvedByListingAndByKernel)
{
	ASSERT_NO_FATAL_FAILURE(expect_windows_and_numbers(BLOCK_LISTED));
	ASSERT_NO_FATAL_FAILURE(expect_windows_and_numbers(0));
}

TEST(Blocks, KeptListingAnswersThatStopEarlyAndLate)
{
	/* In turn, so that no answer reads the marks another left behind. */
	ASSERT_NO_FATAL_FAILURE(expect_windows_and_numbers(BLOCK_KEPT));
	ASSERT_NO_FATAL_FAILURE(expect_windows_and_numbers(BLOCK_KEPT));
}

/*
 * Compares the block path's lines of start ... end with the kernel's, for
 * the numbers within 10 of each of at: a range too long for the kernel
 * to check whole is checked at its bounds.
 */
static void
expect_same_near(u64 start, u64 end, int how, std::initializer_list<u64> at)
{
	std::string got = block_lines(start, end, how);
	std::vector<size_t> line_at = {0};

	for (size_t i = 0; i < got.size(); i++)
		if (got[i] == '\n')
			line_at.push_back(i + 1);
	ASSERT_EQ(line_at.size() - 1, end - start + 1) << "range " << start << " ... " << end;
	for (u64 c : at) {
		u64 lo = c > start + 10 ? c - 10 : start, hi = c + 10 < end ? c + 10 : end;
		std::string want = number_lines(lo, hi);
		ASSERT_EQ(
		    got.substr(line_at[lo - start], line_at[hi - start + 1] - line_at[lo - start]),
		    want)
		    << "range " << start << " ... " << end << " near " << c << ", how " << how;
	}
}

/*
 * Primes whose squares end ranges, ascending: the first odd primes; 127
 * and 131, either side of the root of the block's length, 131 the first
 * with a single step; 727, the first whose square lies past a segment's
 * length; 46399 and 46411, the last small primes; 46439 and 46441, the
 * first large ones; 99991 and 3162277, the last of the kept list for 10
 * and 13 digits; 9999973 and 9999991, the last below 10^7.
 */
static const u64 small_roots[] = {3, 5, 7, 11, 13, 127, 131, 727, 46399, 46411};
static const u64 large_roots[] = {46439, 46441, 99991, 3162277, 9999973, 9999991};

/* Windows and single numbers that end at p^2, each way the large primes come. */
static void
expect_windows_ending_at(u64 p)
{
	for (int how : {0, (int)BLOCK_LISTED, (int)BLOCK_KEPT}) {
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(p * p > 20 ? p * p - 20 : 1, p * p, how));
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(p * p, p * p, how));
	}
}

TEST(Squares, EndWindows)
{
	for (u64 p : small_roots)
		ASSERT_NO_FATAL_FAILURE(expect_windows_ending_at(p));
	for (u64 p : large_roots)
		ASSERT_NO_FATAL_FAILURE(expect_windows_ending_at(p));
}

/*
 * Ranges of two blocks that end at p^2 or whose first block does, through
 * the steps made anew for each larger root, and the large primes listed
 * or kept.
 */
static void
expect_blocks_ending_at(u64 p, int how)
{
	const u64 s = p * p;
	const u64 from = s > 2 * BLOCK_LEN ? s - 2 * BLOCK_LEN + 1 : 1;
	ASSERT_NO_FATAL_FAILURE(expect_same_near(s - BLOCK_LEN, s, how, {s - BLOCK_LEN, s}));
	ASSERT_NO_FATAL_FAILURE(expect_same_near(from, s, how, {s - BLOCK_LEN, s}));
	ASSERT_NO_FATAL_FAILURE(expect_same_near(s - BLOCK_LEN + 1, s + BLOCK_LEN, how, {s}));
}

TEST(Squares, EndBlocks)
{
	for (u64 p : small_roots)
		if (p * p > BLOCK_LEN) {
			ASSERT_NO_FATAL_FAILURE(expect_blocks_ending_at(p, 0));
		}
	for (u64 p : large_roots)
		ASSERT_NO_FATAL_FAILURE(expect_blocks_ending_at(p, 0));
	for (u64 p : {131, 46411, 46439, 9999991})
		ASSERT_NO_FATAL_FAILURE(expect_blocks_ending_at(p, BLOCK_KEPT));
}

/*
 * Ranges of more than one segment: one that ends at p^2 alone in its
 * second segment, marked there from the gaps kept or from the kept list;
 * one whose first segment ends at p^2.  A range of two blocks that ends
 * at p^2 then marks from the gaps that the first range kept.
 */
static void
expect_segments_ending_at(u64 p, int how)
{
	const u64 s = p * p;
	ASSERT_NO_FATAL_FAILURE(
	    expect_same_near(s - SEGMENT_LEN, s, how, {s - SEGMENT_LEN, s - BLOCK_LEN, s}));
	ASSERT_NO_FATAL_FAILURE(expect_same_near(s - BLOCK_LEN, s, how, {s}));
	ASSERT_NO_FATAL_FAILURE(expect_same_near(s - SEGMENT_LEN + 1, s + 1, how, {s}));
}

TEST(Squares, EndSegments)
{
	ASSERT_NO_FATAL_FAILURE(expect_segments_ending_at(46411, 0));
	for (u64 p : {46439, 9999991})
		for (int how : {0, (int)BLOCK_KEPT})
			ASSERT_NO_FATAL_FAILURE(expect_segments_ending_at(p, how));
}

TEST(Squares, DialogueAnswersOfEachSize)
{
	/*
	 * As the dialogue asks, from no kept list: each window ends at p^2,
	 * the kept list made for its digits, or already long enough.
	 */
	large_drop();
	for (u64 p : {3162277, 46439, 99991, 9999991, 3162277, 46411, 131})
		ASSERT_NO_FATAL_FAILURE(expect_same_lines(p * p - 20, p * p, BLOCK_KEPT));
}

/*
 * Lengths either side of each crossover between the kernel and the block
 * path, read from block_min(): the ranges the kernel takes, one number
 * short, and those the block path takes.
 */
TEST(Crossovers, LengthsEitherSideThroughTheBlockPath)
{
	u64 ends[64];
	int n = crossover_ends(ends, 64);

	ASSERT_GT(n, 0) << "block_min() never changes";
	for (int i = 0; i < n; i++) {
		for (u64 end : {ends[i] - 1, ends[i]}) {
			u64 len = (u64)block_min((double)end);
			ASSERT_GT(len, 1u);
			ASSERT_LE(len, end);
			for (int how : {0, (int)BLOCK_KEPT}) {
				ASSERT_NO_FATAL_FAILURE(expect_same_lines(end - len + 2, end, how));
				ASSERT_NO_FATAL_FAILURE(expect_same_lines(end - len + 1, end, how));
			}
		}
	}
}
