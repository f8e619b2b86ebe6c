/*
 * The text of the primes of ranges against primesieve's, sieved by one to
 * 64 threads, at places that stress the range sieve and its order; jobs
 * that stop.
 */
#include <gtest/gtest.h>

#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "big_tier.h"
#include "primes.h"
#include "range.h"
#include "tiers.h"
#include "wheel.h"

static FILE *oracle;
static uint64_t compared_from, written;
static std::string wrong;

/* One line a prime, the primes below compared_from left out. */
static char *
put_lines(char *out, uint64_t base, const uint32_t *offs, int n)
{
	for (int i = 0; i < n; i++)
		if (base + offs[i] >= compared_from)
			out += sprintf(out, "%" PRIu64 "\n", base + offs[i]);
	return out;
}

/* Compares the text with the oracle's as it comes, in order. */
static bool
compare_text(const char *text, size_t len)
{
	static char want[1 << 16];

	for (size_t done = 0; done < len && wrong.empty();) {
		size_t n = len - done < sizeof want ? len - done : sizeof want;
		size_t got = fread(want, 1, n, oracle);
		if (got != n || memcmp(want, text + done, n) != 0) {
			size_t at = 0;
			while (at < got && want[at] == text[done + at])
				at++;
			wrong = "byte " + std::to_string(written + done + at) + " differs";
		}
		done += n;
	}
	written += len;
	return true;
}

/*
 * Lists start ... stop with `threads` threads and compares the primes
 * from `from` on; an empty string when they agree.
 */
static std::string
differences(uint64_t start, uint64_t stop, int threads, uint64_t from = 0)
{
	compared_from = from > start ? from : start;
	std::string cmd =
	    "primesieve " + std::to_string(compared_from) + " " + std::to_string(stop) + " -p";
	char extra;

	oracle = popen(cmd.c_str(), "r");
	if (oracle == nullptr)
		return "cannot run " + cmd;
	wrong.clear();
	written = 0;
	int status = range_primes(start, stop, threads, put_lines, 21, compare_text);
	bool more = fread(&extra, 1, 1, oracle) == 1;
	if (pclose(oracle) != 0)
		return "failed: " + cmd;
	if (status != 0)
		return "status " + std::to_string(status);
	if (!wrong.empty())
		return wrong;
	if (more)
		return "missing from byte " + std::to_string(written) + " on";
	return "";
}

static void
expect_agree(const uint64_t (*ranges)[2], size_t n, int threads)
{
	for (size_t i = 0; i < n; i++)
		EXPECT_EQ(differences(ranges[i][0], ranges[i][1], threads), "")
		    << ranges[i][0] << " ... " << ranges[i][1] << ", " << threads << " threads";
}

/*
 * Bytes of 30 numbers: a sieve segment; the first unit; a unit without
 * large primes, and with them (from a stop of 2^42 on).
 */
static const uint64_t seg = 30 << 15, first = 30 << 18, unit = 30 << 20, large_unit = 30 << 22;

TEST(Range, EndsOnAndBesidePrimesAndTheSmallest)
{
	static const uint64_t ranges[][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}, {2, 2},
	    {2, 3}, {3, 3}, {3, 4}, {4, 4}, {4, 5}, {5, 5}, {5, 7}, {6, 6}, {7, 7}, {0, 29},
	    {29, 31}, {30, 30}, {8, 22}, {23, 23}, {997, 1009}, {998, 1008}, {996, 1010},
	    {1000, 1000}, {5, 4}, {1009, 997}, {0, 100000}, {9900, 10100}};
	expect_agree(ranges, sizeof ranges / sizeof ranges[0], 1);
}

TEST(Range, SegmentsAndPresievedPrimes)
{
	/*
	 * Segments are counted from the byte of the start; from three of them
	 * on, 29 ... 157 are presieved, and must stay primes themselves.
	 */
	static const uint64_t ranges[][2] = {{0, seg - 1}, {0, seg}, {0, seg + 1},
	    {0, 2 * seg + 29}, {0, 3 * seg}, {seg - 31, seg + 31}, {150, 3 * seg},
	    {1000000007, 1000000007 + 3 * seg}};
	expect_agree(ranges, sizeof ranges / sizeof ranges[0], 1);
}

TEST(Range, SquaresOfSievingPrimes)
{
	/*
	 * 163^2, the first square crossed off; 65521 and 65537, the last of
	 * the segment tier and the first of the middle; 2097143 and 2097169,
	 * the last of the middle tier and the first of the large.
	 */
	static const uint64_t ranges[][2] = {{26568, 26570}, {26569, 26569},
	    {4293001440, 4293001442}, {4295098368, 4295098370}, {4295098369, 4295098369},
	    {4398008762448, 4398008762450}, {4398117814561, 4398117814561},
	    {4398117814561 - 1000000, 4398117814561 + 1000000}};
	expect_agree(ranges, sizeof ranges / sizeof ranges[0], 1);
}

TEST(Range, UnitsHandedToThreadsInTurn)
{
	/*
	 * Fewer units than threads; a last unit of one byte, after units of
	 * each size; the first large prime joining; the last numbers below
	 * 2^53.
	 */
	static const uint64_t ranges[][2] = {{0, 1000}, {0, first - 1}, {0, first + 29},
	    {1000000000, 1000000000 + first + 2 * unit},
	    {4398117814561 - first, 4398117814561 + first},
	    {9007199254740991 - first - 60, 9007199254740991}};
	for (int threads : {1, 2, 3, 4, 9, 64})
		expect_agree(ranges, sizeof ranges / sizeof ranges[0], threads);
}

TEST(Range, ManyWorkersOnFewCpus)
{
	/* 62 units, handed out within a window, on more threads than CPUs. */
	for (int threads : {5, 64})
		EXPECT_EQ(differences(0, 60000000, threads), "") << threads << " threads";
}

TEST(Range, LongRangesOnTheirTails)
{
	/* From 0 across 2^32; units with the large tier; on three threads. */
	EXPECT_EQ(differences(0, 4294967296 + 4 * unit, 3, 4294967296 - first), "");
	const uint64_t from = 35184372088832;
	EXPECT_EQ(
	    differences(from, from + first + 2 * large_unit, 3, from + first + large_unit - seg),
	    "");
}

TEST(Range, AboveTwoTo53)
{
	/*
	 * Across 2^53, where first multiples are no longer found in doubles
	 * alone; the first square of the huge tier's primes, 134217757^2;
	 * across 2^63; around the square of the largest prime below 2^32; the
	 * last numbers below 2^64, whose last byte reaches past it.  Each job
	 * whose root passes 2^27 lists the huge tier's primes: the ranges are
	 * few.
	 */
	static const uint64_t ranges[][2] = {{9007199254740991 - 2 * seg, 9007199254740991 + seg},
	    {18014406294110000, 18014406294112000}, {18014406294111049, 18014406294111049},
	    {9223372036854775808ULL - 1000, 9223372036854775808ULL + 1000},
	    {18446744030759878681ULL - 1000, 18446744030759878681ULL + 1000},
	    {RANGE_MAX - 1000, RANGE_MAX}};
	expect_agree(ranges, sizeof ranges / sizeof ranges[0], 1);
}

TEST(Range, HugeTierUnitsOnThreads)
{
	/*
	 * Near 2^64: two units, the second short, on one thread, and shared
	 * by a team of as many threads as memory allows.
	 */
	const uint64_t from = RANGE_MAX - 260000000;
	for (int threads : {1, 64})
		EXPECT_EQ(differences(from, RANGE_MAX, threads), "") << threads << " threads";
}

static int fail_after, puts_after_failure;
static bool write_failed;

/* Fails with ENOSPC at its fail_after-th call. */
static bool
failing_write(const char *, size_t)
{
	if (--fail_after > 0)
		return true;
	__atomic_store_n(&write_failed, true, __ATOMIC_RELAXED);
	errno = ENOSPC;
	return false;
}

/* put_lines(), counting the batches put once a write has failed. */
static char *
put_counted(char *out, uint64_t base, const uint32_t *offs, int n)
{
	if (__atomic_load_n(&write_failed, __ATOMIC_RELAXED))
		__atomic_add_fetch(&puts_after_failure, 1, __ATOMIC_RELAXED);
	return put_lines(out, base, offs, n);
}

TEST(Range, AFailedWriteStopsEveryThreadWithinABatch)
{
	/* Units whose text fits a thread's buffer, and units written in pieces. */
	static const uint64_t starts[] = {1000000000, 100000000000000};
	compared_from = 0;
	for (uint64_t start : starts)
		for (int threads : {1, 2, 3, 4, 16, 64})
			for (int calls : {1, 3}) {
				fail_after = calls;
				write_failed = false;
				puts_after_failure = 0;
				errno = 0;
				EXPECT_EQ(range_primes(start, start + 8 * unit, threads,
					      put_counted, 21, failing_write),
				    RANGE_WRITE_FAILED)
				    << threads << " threads";
				EXPECT_EQ(errno, ENOSPC);
				/* Each thread ends the batch it is reading off, no more. */
				EXPECT_LE(puts_after_failure, threads)
				    << start << ", " << threads << " threads, failing write "
				    << calls;
			}
}

static int looks, stop_at_look;

static bool
stop_at(void)
{
	return ++looks >= stop_at_look;
}

static listing primes;

/* Hands the primes up to root to the tiers. */
static void
take_sieving(u32 root)
{
	const uint32_t *ps;

	listing_begin(&primes, 0, root);
	for (int n; (n = listing_next(&primes, &ps)) > 0;) {
		tiers_take(ps, n);
		big_take(ps, n);
	}
}

TEST(Range, SievingLooksWhetherToStopBetweenPieces)
{
	/* A unit of 4 MiB near 10^15, with all three tiers. */
	const u64 b = 1000000000000000 / 30;
	const u32 len = 1 << 22, root = isqrt(30 * (b + len));
	const size_t middle = tiers_bytes(root);
	std::vector<unsigned char> lists(middle + big_bytes(root)), bits(len + 8);
	make_more_patterns();
	tiers_begin(lists.data(), true);
	big_begin(lists.data() + middle);
	take_sieving(root);
	std::vector<sieving> places(tiers_places() / sizeof(sieving));
	ASSERT_TRUE(big_any());

	presieve(bits.data(), b, len);
	looks = 0;
	stop_at_look = 1;
	EXPECT_FALSE(cross_big(bits.data(), b, len, stop_at));
	EXPECT_EQ(looks, 1) << "the big tier went on once told to stop";
	looks = 0;
	EXPECT_FALSE(cross_tiers(bits.data(), b, len, places.data(), stop_at));
	EXPECT_EQ(looks, 1) << "the tiers went on once told to stop";

	/* Told to go on, they look several times in the unit: at each segment, for the tiers. */
	looks = 0;
	stop_at_look = 1 << 30;
	EXPECT_TRUE(cross_big(bits.data(), b, len, stop_at));
	EXPECT_GE(looks, 8);
	looks = 0;
	EXPECT_TRUE(cross_tiers(bits.data(), b, len, places.data(), stop_at));
	EXPECT_GE(looks, len / SIEVE_BYTES);
}

static int writes;

static bool
count_write(const char *, size_t)
{
	writes++;
	return true;
}

/* The address space the process uses now, in bytes; 0 where unknown. */
static size_t
address_space()
{
	FILE *f = fopen("/proc/self/statm", "r");
	unsigned long pages = 0;

	if (f == nullptr)
		return 0;
	if (fscanf(f, "%lu", &pages) != 1)
		pages = 0;
	fclose(f);
	return pages * (size_t)sysconf(_SC_PAGESIZE);
}

/* A job near 2^53, which needs some 20 MB, under a limit of `extra` more than now. */
static void
expect_no_memory(size_t extra)
{
	const size_t used = address_space();
	rlimit old{}, tight{};

	ASSERT_NE(used, 0U) << "no /proc/self/statm";
	ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
	tight = old;
	tight.rlim_cur = used + extra;
	ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
	compared_from = 0;
	writes = 0;
	errno = 0;
	const int status =
	    range_primes(RANGE_MAX - 1000000000, RANGE_MAX, 2, put_lines, 21, count_write);
	const int err = errno;
	ASSERT_EQ(setrlimit(RLIMIT_AS, &old), 0);
	EXPECT_EQ(status, RANGE_NO_MEMORY) << "with " << extra << " bytes to spare";
	EXPECT_EQ(err, ENOMEM);
	EXPECT_EQ(writes, 0);
}

TEST(Range, MemoryThatCannotBeMappedIsReportedFirst)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
	GTEST_SKIP() << "the sanitizers map memory of their own";
#endif
	/* A job that maps and unmaps its memory, and memory mapped since. */
	compared_from = 0;
	ASSERT_EQ(range_primes(1000000000, 1300000000, 2, put_lines, 21, count_write), 0);
	const size_t len = 16 << 20;
	void *kept = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	ASSERT_NE(kept, MAP_FAILED);
	memset(kept, 0x5a, len);
	/* No room for the sieving primes; room for them, but not for a thread's memory. */
	expect_no_memory(1 << 20);
	expect_no_memory(8 << 20);
	const unsigned char *p = static_cast<unsigned char *>(kept);
	size_t same = 0;
	while (same < len && p[same] == 0x5a)
		same++;
	EXPECT_EQ(same, len) << "the memory mapped after the first job was touched";
	munmap(kept, len);
}
