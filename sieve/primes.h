/* The primes up to a bound, by a segmented sieve of the numbers coprime to 30. */
#ifndef QUARN_PRIMES_H
#define QUARN_PRIMES_H

#include <cstddef>

#include "arith.h"

enum {
	/* Most primes handed over at once. */
	PRIME_BATCH = 4096,
	/* Sieve bytes read off at a time: at most PRIME_BATCH primes. */
	READ_BYTES = PRIME_BATCH / 8,
};

/*
 * Starts listing the primes up to m < 2^32 - 2^24.  One listing runs at a
 * time: starting another ends it.
 */
void primes_begin(u32 m);
/*
 * The next batch of the listing, ascending, at most PRIME_BATCH primes at
 * *ps, valid until the next call; returns their count, 0 once all are
 * listed.
 */
int primes_next(const u32 **ps);

/* An upper bound on the number of primes up to x >= 2: 1.25506 x / ln x. */
size_t primes_below(double x);

/*
 * Appends the primes ps[0 ... n), ascending and above *last, to gaps[0 ...
 * count) as halved gaps, a byte each, and leaves *last at the largest;
 * returns the new count.  A prime p is then the one before plus twice its
 * gap: below 2^32, primes lie at most 336 apart.
 */
long put_gaps(unsigned char *gaps, long count, u32 *last, const u32 *ps, int n);

#endif
