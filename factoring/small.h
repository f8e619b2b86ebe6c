/*
 * The small primes, the odd ones below LARGE_FROM, and their powers,
 * divided out of the numbers of a block; 2 by counting trailing zeros.
 * Each number of the block has a slot, which keeps what is left of it and
 * the small primes found.
 */
#ifndef QUARN_SMALL_H
#define QUARN_SMALL_H

#include "arith.h"
#include "bounds.h"

enum {
	/* Distinct small prime factors of a number below FACTOR_LIMIT. */
	SMALL_SLOTS = 12,
	/* A factor p with exponent e is kept as p + e EXP_ONE. */
	EXP_ONE = 1 << 16,
};

/* A number of the block: its cofactor and its small prime factors.  One cache line each. */
struct alignas(64) slot {
	u64 cof;
	u32 fac[SMALL_SLOTS];
	u32 count;
};

/* The numbers of the last block, from its first on. */
extern slot slots[BLOCK_LEN];

/* Starts a range from a on whose numbers need the small primes up to root. */
void small_begin(u64 a, u32 root);
/* Fills the slots with the len numbers from base on, the range's next block. */
void small_block(u64 base, u64 len);
/*
 * Fills the slots with a range of one block, the len numbers from a on,
 * with the small primes up to root divided out.
 */
void small_alone(u64 a, u32 len, u32 root);

#endif
