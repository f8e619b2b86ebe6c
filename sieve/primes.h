/* The primes up to a bound, by a segmented sieve of the numbers coprime to 30. */
#ifndef QUARN_PRIMES_H
#define QUARN_PRIMES_H

#include <cstdint>

/* Most primes handed over at once. */
enum { PRIME_BATCH = 4096 };

/*
 * Hands the primes up to m < 2^32 - 2^24 to take(), in ascending order, in
 * batches of at most PRIME_BATCH, until take() returns false.
 */
void list_primes(uint32_t m, bool (*take)(const uint32_t *ps, int n));

#endif
