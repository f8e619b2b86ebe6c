/*
 * The primes of a span below 2^32, listed by a segmented sieve of the
 * numbers coprime to 30 and handed out in batches as they are asked for.
 * A listing's state is the caller's, so that threads may list at once.
 */
#ifndef QUARN_PRIMES_H
#define QUARN_PRIMES_H

#include <cstddef>

#include "arith.h"
#include "odd_primes.h"
#include "wheel.h"

enum {
	/* Most primes handed over at once. */
	PRIME_BATCH = 4096,
	/* Sieve bytes read off at a time: at most PRIME_BATCH primes. */
	READ_BYTES = PRIME_BATCH / 8,
	/*
	 * The segment of a listing of 2^28 numbers or more: in the L2 cache,
	 * where the sieving primes up to 2^16 cross off fewer times a prime
	 * than in segments of SIEVE_BYTES, which serve shorter listings.
	 */
	LIST_BYTES = 1 << 18,
	LONG_LISTING = 1 << 28,
};

/*
 * A listing: the sieving primes from 29 up to the square root of its last
 * number, each at its next multiple, the segment sieved last and the
 * batch handed out last.
 */
struct listing {
	sieving sp[ODD_PRIME_COUNT];
	int nsp, first_crossed; /* those before first_crossed are presieved */
	u32 top, last;          /* the bytes, and the last number */
	u64 first;              /* the first number */
	u32 seg_bytes, seg_lo, seg_len, seg_read;
	bool more, fresh;
	unsigned char seg[LIST_BYTES + 8];
	u32 batch[PRIME_BATCH + 8];
};

/* Starts a listing of the primes from first to last <= UINT32_MAX. */
void listing_begin(listing *l, u64 first, u32 last);
/*
 * The next batch of the listing, ascending, at most PRIME_BATCH primes at
 * *ps, valid until the next call; returns their count, 0 once all are
 * listed.
 */
int listing_next(listing *l, const u32 **ps);

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
