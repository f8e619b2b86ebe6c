/*
 * The huge tier of the range sieve: the sieving primes from HUGE_FROM on,
 * where stop is 2^54 or more.  Below 2^32 there are some 200 million of
 * them, too many to keep, so each unit lists them anew.  Each has at most
 * one multiple in a unit, found eight primes at a time and crossed off
 * where it lies in the unit.
 *
 * The listing costs the same however long the unit, so the job's units
 * are sieved one at a time, as long as they may be, and the primes are
 * shared out: the unit's worker crosses off a slice of them, and each
 * helper thread of the team another, into bits of its own, which the
 * worker ANDs into the unit's.
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
 * A worker's own for the tier: the listing; the distances of the first
 * multiples of a batch's groups of eight primes that have one in the
 * unit; and the multiples found, two batches of them, one crossed off
 * while the other's bytes are fetched.  A group's tail repeats its last
 * prime, and may add as many multiples.  A helper's slice is its index
 * in the team.
 */
struct huge_work {
	listing list;
	int slice;
	v8di far[PRIME_BATCH / 8 + 1];
	u32 at[2][PRIME_BATCH + 8];
	unsigned char mask[2][PRIME_BATCH + 8];
};

/* Starts a job whose sieving primes reach root: the tier takes part from HUGE_FROM on. */
void huge_begin(u32 root);
/* Whether the job has primes in the huge tier. */
bool huge_any(void);
/*
 * Helper i of the team works in bits and w, and looks at stopped() now
 * and then: set before it starts.  The team's size, helpers and worker,
 * is set once they have started.
 */
void huge_helper(int i, unsigned char *bits, huge_work *w, bool (*stopped)(void));
void huge_team(int n);
/* The body of a helper thread, given its huge_work: slices of units until huge_dismiss(). */
void *huge_help(void *w);
/* Hands the unit of len <= HUGE_UNIT_MAX bytes from byte b on to the helpers. */
void huge_start(u64 b, u32 len);
/*
 * Crosses the worker's slice of the huge tier's primes off the unit that
 * huge_start() handed out, working in w, then ANDs in the helpers'
 * slices.  Looks at stopped() now and then and, once it says so, crosses
 * off no more and returns false.
 */
bool cross_huge(unsigned char *bits, huge_work *w, bool (*stopped)(void));
/* Ends the helpers' work: they return. */
void huge_dismiss(void);

#endif
