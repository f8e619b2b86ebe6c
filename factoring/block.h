/* Factoring of consecutive integers below 10^14, a block at a time. */
#ifndef QUARN_BLOCK_H
#define QUARN_BLOCK_H

enum {
	/* Numbers factored at a time; their slots stay in the L2 cache. */
	BLOCK_LEN = 1 << 14,
	/* Numbers that share one pass of the large primes, a multiple of BLOCK_LEN. */
	SEGMENT_LEN = 1 << 19,
};

/* Keeps the primes listed for a range for the ranges that follow. */
void block_keep(void);
/*
 * Whether a range of one block may factor its open numbers by the kernel
 * where that costs less than listing the large primes; on until turned
 * off, as tests do to reach the listing.
 */
void block_allow_kernel(bool allow);
/* Starts the range start ... end of positive integers below 10^14. */
void block_begin(double start, double end);
/* Factors the next block of the range; returns its length, 0 past the end. */
long block_next(void);
/* Loads number i of the last block into the result table of factor.h. */
void block_result(long i);

#endif
