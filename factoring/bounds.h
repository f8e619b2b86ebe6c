/*
 * The sizes of the block path.  Each number's small prime factors, those
 * below LARGE_FROM, are divided out a block at a time; the large primes,
 * from LARGE_FROM up to the square root of the range's end, mark their
 * multiples a segment at a time.
 */
#ifndef QUARN_BOUNDS_H
#define QUARN_BOUNDS_H

#include "factor.h"

enum {
	/* Numbers factored at a time; their slots stay in the L2 cache. */
	BLOCK_LEN = 1 << 14,
	/* Numbers that share one pass of the large primes, a multiple of BLOCK_LEN. */
	SEGMENT_LEN = 1 << 19,
	/*
	 * Primes from here on are large.  46416^3 exceeds every number, so a
	 * number has at most two large prime factors, counted with
	 * multiplicity.
	 */
	LARGE_FROM = 46416,
	/* Large primes below 10^7, the square root of every number. */
	MAX_LARGE = 660000,
};

static_assert((double)LARGE_FROM * LARGE_FROM * LARGE_FROM >= FACTOR_LIMIT,
    "at most two large prime factors");
static_assert(1e7 * 1e7 >= FACTOR_LIMIT, "every root lies below 10^7");

#endif
