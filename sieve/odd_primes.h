/*
 * The odd primes below 2^16, made at compile time: the sieving primes of
 * the listing, whose bound is below 2^32, and the small primes that the
 * block path divides out.
 */
#ifndef QUARN_ODD_PRIMES_H
#define QUARN_ODD_PRIMES_H

#include "arith.h"

enum {
	ODD_PRIMES_BELOW = 1 << 16,
	ODD_PRIME_COUNT = 6541,
};

/* The primes, the last repeated to fill a group of eight after them. */
struct odd_prime_table {
	u32 p[ODD_PRIME_COUNT + 8];
};

static constexpr odd_prime_table
make_odd_primes()
{
	odd_prime_table t{};
	bool composite[ODD_PRIMES_BELOW] = {};
	int count = 0;

	for (u32 n = 3; n < ODD_PRIMES_BELOW; n += 2) {
		if (composite[n])
			continue;
		t.p[count++] = n;
		for (u32 m = n * n; m < ODD_PRIMES_BELOW; m += 2 * n)
			composite[m] = true;
	}
	for (int k = 0; k < 8; k++)
		t.p[count + k] = t.p[count - 1];
	return t;
}

/* Read-only data: no work at start-up, and pages touched only where read. */
inline constexpr odd_prime_table odd_primes = make_odd_primes();

/* The number of odd primes below x <= ODD_PRIMES_BELOW. */
static constexpr int
odd_primes_below(u32 x)
{
	int n = 0;

	while (n < ODD_PRIME_COUNT && odd_primes.p[n] < x)
		n++;
	return n;
}

static_assert(odd_primes.p[ODD_PRIME_COUNT - 1] == 65521, "ODD_PRIME_COUNT counts them all");

#endif
