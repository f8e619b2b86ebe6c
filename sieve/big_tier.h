/*
 * The big tier of the range sieve: the sieving primes from BIG_FROM below
 * HUGE_FROM (huge_tier.h), where stop is 2^42 or more.  Most of them have no multiple in a unit;
 * those that do are gathered, and each crosses off its few multiples in
 * the whole unit.  They are kept as halved gaps, a byte each.
 */
#ifndef QUARN_BIG_TIER_H
#define QUARN_BIG_TIER_H

#include <cstddef>

#include "arith.h"

enum { BIG_FROM = 1 << 21 };

/* The bytes of the list of the big tier's primes up to root < HUGE_FROM. */
size_t big_bytes(u32 root);
/* Starts a job's big tier with its list in area. */
void big_begin(void *area);
/* Takes the primes of ps[0 ... n), ascending, from BIG_FROM on. */
void big_take(const u32 *ps, int n);
/* Whether the job has primes in the big tier. */
bool big_any(void);
/*
 * Crosses the multiples of the big tier's primes off the unit of len bytes
 * from byte b on.  Looks at stopped() now and then and gives up, false,
 * once it says so.
 */
bool cross_big(unsigned char *bits, u64 b, u32 len, bool (*stopped)(void));

#endif
