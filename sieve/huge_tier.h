/*
 * The huge tier of the range sieve: the sieving primes from HUGE_FROM on,
 * where stop is 2^54 or more.  Below 2^32 there are some 200 million of
 * them, too many to keep, so each unit lists them anew, in a listing of
 * its worker's.  Each has at most one multiple in a unit, found eight
 * primes at a time and crossed off where it lies in the unit.
 */
#ifndef QUARN_HUGE_TIER_H
#define QUARN_HUGE_TIER_H

#include "arith.h"
#include "primes.h"

enum {
	HUGE_FROM = 1 << 27,
	/* The longest unit in which a prime of the tier has at most one multiple. */
	HUGE_UNIT_MAX = 1 << 23,
};

/*
 * Multiples p m and p m' with m < m' coprime to 30 lie at least 2 p / 30
 * numbers' bytes apart, less one for where they fall in their bytes.
 */
static_assert(2 * (u64)HUGE_FROM / 30 - 1 >= HUGE_UNIT_MAX, "one multiple a unit");

/*
 * A worker's own for the tier: the listing, and the multiples found in a
 * unit, two batches of them, one crossed off while the other's bytes are
 * fetched.
 */
struct huge_work {
	listing list;
	u32 at[2][PRIME_BATCH];
	unsigned char mask[2][PRIME_BATCH];
};

/* Starts a job whose sieving primes reach root: the tier takes part from HUGE_FROM on. */
void huge_begin(u32 root);
/* Whether the job has primes in the huge tier. */
bool huge_any(void);
/*
 * Crosses the multiples of the huge tier's primes off the unit of len <=
 * HUGE_UNIT_MAX bytes from byte b on, working in w.  Looks at stopped()
 * now and then and gives up, false, once it says so.
 */
bool cross_huge(unsigned char *bits, u64 b, u32 len, huge_work *w, bool (*stopped)(void));

#endif
