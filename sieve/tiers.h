/*
 * The small and middle tiers of the range sieve: the sieving primes below
 * BIG_FROM, each of which has many multiples in a unit.  The small tier
 * crosses off a sieve segment at a time, in the L1 cache; the middle tier,
 * from MIDDLE_FROM on, a part of the unit at a time, in the L2 cache.  A
 * thread keeps its primes' places from segment to segment and from part
 * to part within a unit.
 */
#ifndef QUARN_TIERS_H
#define QUARN_TIERS_H

#include <cstddef>

#include "arith.h"
#include "wheel.h"

/* The bytes of the middle tier's list for sieving primes up to root. */
size_t tiers_bytes(u32 root);
/*
 * Starts a job's tiers with their list in area; with `more`, the presieve
 * patterns of 29 ... 157 take the place of those primes.
 */
void tiers_begin(void *area, bool more);
/* Takes the primes of ps[0 ... n), ascending, that belong to the tiers. */
void tiers_take(const u32 *ps, int n);
/* The number of primes in the tiers. */
long tiers_count(void);
/* The bytes of the places a thread keeps for the tiers' primes. */
size_t tiers_places(void);
/*
 * Crosses the multiples of the tiers' primes off the unit of len bytes
 * from byte b on, keeping their places in places[].  Looks at stopped()
 * between the pieces and gives up, false, once it says so.
 */
bool cross_tiers(unsigned char *bits, u64 b, u32 len, sieving *places, bool (*stopped)(void));

#endif
