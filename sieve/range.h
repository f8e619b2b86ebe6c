/* The primes of a range below 2^53, by a segmented sieve. */
#ifndef QUARN_RANGE_H
#define QUARN_RANGE_H

#include <cstdint>

/* The largest end of a range: 2^53 - 1. */
#define RANGE_MAX 9007199254740991ULL

/*
 * Hands the primes p, start <= p <= stop <= RANGE_MAX, to take() in
 * ascending order, in batches of at most PRIME_BATCH, each prime as base +
 * offs[i].
 */
void range_primes(
    uint64_t start, uint64_t stop, void (*take)(uint64_t base, const uint32_t *offs, int n));

#endif
