/*
 * Factoring of consecutive integers below FACTOR_LIMIT, a block at a
 * time: the driver of the block path.  A range of one block is factored
 * whole (early.h); a longer one block by block, its small primes
 * divided out (small.h) and its large primes marked a segment at a time
 * (large.h, mark.h).
 */
#ifndef QUARN_BLOCK_H
#define QUARN_BLOCK_H

#include "bounds.h"

/* A number's prime factors as the block path found them: ascending, with their exponents. */
struct found_factors {
	double factors[MAX_FACTORS];
	int exponents[MAX_FACTORS];
	int count;
};

/* How block_begin() takes the range's large primes. */
enum {
	/* From the kept list of large.h, made or lengthened as needed: the dialogue's way. */
	BLOCK_KEPT = 1,
	/* Listed, in a range of one block even where the kernel would cost less. */
	BLOCK_LISTED = 2,
};

/*
 * The shortest range, by its end, that the block path factors faster than
 * the kernel does number by number.
 */
long block_min(double end);
/* Starts the range start ... end of positive integers below FACTOR_LIMIT. */
void block_begin(double start, double end, int how);
/* Factors the next block of the range; returns its length, 0 past the end. */
long block_next(void);
/* The factors of number i of the last block, valid until the next call. */
const found_factors *block_result(long i);

#endif
