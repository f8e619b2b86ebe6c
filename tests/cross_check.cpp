/*
 * The paths that differ by architecture against plain references, without a
 * test framework, so that it also runs on cross builds under emulation:
 * the revolution screen against fmod, and the block routine's lines against
 * factor_number's.  Prints the byte order and FLT_EVAL_METHOD it was built
 * with: the latter chooses the screen's path, the former names the target.
 */
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "reference.h"

using u64 = std::uint64_t;

/*
 * The per-number path costs most near 10^14, and far more emulated, with
 * x87 arithmetic most of all; hence the shorter ranges up there.
 */
static const u64 ranges[][2] = {
    {1, 20000},                       /* from 1, across a block */
    {2147482648, 2147484647},         /* across 2^31 */
    {4294966296, 4294968295},         /* across 2^32 */
    {9999998000, 10000001999},        /* where the large primes join the sieve */
    {999999999800, 1000000000199},    /* 10^12: the line numbers gain a digit */
    {99999999999800, 99999999999999}, /* the top */
};

/*
 * Windows that the block path factors alone, stopping where their numbers
 * are resolved: the prime 99999999999973 needs every large prime,
 * 46439 * 2153362441 the first, 9999973^2 the last below 10^7.
 */
static const u64 windows[][2] = {
    {99999999999963, 99999999999983},
    {99999998397589, 99999998397609},
    {99999460000719, 99999460000739},
};

/* Multiples of a candidate below 10^14 and their successors; counts the cases. */
static int
check_screen(long *cases)
{
	std::mt19937_64 rng(20261208);
	int bad = 0;

	for (int i = 0; i < 20000; i++) {
		double base = 1 + 210 * (double)(rng() % (i % 2 ? 47620 : 20));
		auto c = (u64)(base + ref_offsets[rng() % 48]);
		double n = (double)(c * (99999999999999 / c - rng() % 1000));
		for (double x : {n, n + 1, 99999999999999.0}) {
			unsigned long long got = wheel_hits(x, base), want = fmod_hits(x, base);
			++*cases;
			if (got != want && bad++ < 5)
				(void)fprintf(stderr,
				    "cross_check: %.0f at %.0f: hits %llx, expected %llx\n", x,
				    base, got, want);
		}
	}
	return bad;
}

/* Counts the numbers. */
static int
check_blocks(const u64 (*list)[2], size_t n, u64 *numbers, int how = 0)
{
	int bad = 0;

	for (size_t i = 0; i < n; i++) {
		const auto &r = list[i];
		std::string got = block_lines(r[0], r[1], how), want = number_lines(r[0], r[1]);
		*numbers += r[1] - r[0] + 1;
		if (got == want)
			continue;
		size_t at = 0;
		while (at < got.size() && at < want.size() && got[at] == want[at])
			at++;
		at = want.rfind('\n', at) + 1;
		(void)fprintf(stderr, "cross_check: %llu ... %llu: got\n%s\nexpected\n%s\n",
		    (unsigned long long)r[0], (unsigned long long)r[1],
		    got.substr(at, got.find('\n', at) - at).c_str(),
		    want.substr(at, want.find('\n', at) - at).c_str());
		bad++;
	}
	return bad;
}

int
main()
{
	long cases = 0;
	u64 numbers = 0;
	int bad =
	    check_screen(&cases) + check_blocks(ranges, sizeof ranges / sizeof ranges[0], &numbers);

	/* The windows by the kernel on their open numbers, then by listing. */
	bad += check_blocks(windows, sizeof windows / sizeof windows[0], &numbers);
	bad += check_blocks(windows, sizeof windows / sizeof windows[0], &numbers, BLOCK_LISTED);

	(void)printf("cross_check: %ld screens, %llu lines: %s; %s-endian, FLT_EVAL_METHOD %d\n",
	    cases, (unsigned long long)numbers, bad ? "FAILED" : "agree",
	    __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? "big" : "little", (int)FLT_EVAL_METHOD);
	return bad ? 1 : 0;
}
