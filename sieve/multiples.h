/*
 * Where a sieving prime's multiples start in a unit of the range sieve:
 * the first byte of the round of its first multiple there, and the wheel
 * index of the cofactor.  Found anew in every unit, so that the units do
 * not depend on one another: one prime at a time in integers, or eight at
 * once in vector doubles, corrected in 64-bit integers above 2^53.
 */
#ifndef QUARN_MULTIPLES_H
#define QUARN_MULTIPLES_H

#include "arith.h"
#include "wheel.h"

/* The wheel index and round of the first multiple p m >= n with m >= p coprime to 30. */
static inline int
first_round(u32 p, u64 n, u64 *round)
{
	u64 m = n / p;

	m += m * p != n;
	if (m < p)
		m = p;
	*round = p * (m / 30);
	return wheel_index(m);
}

/* Above this byte, a unit's numbers reach 2^53: doubles no longer hold them all. */
static constexpr u64 HIGH_BYTES = (1ULL << 53) / 30;

typedef uint64_t v8du __attribute__((vector_size(64)));

/*
 * floor(n / p) in *q and n mod p in *r for eight p below 2^32: a double
 * quotient, off by less than one where n < 2^64, corrected in integers.
 */
static inline __attribute__((always_inline)) void
quotient_eight(u64 n, v8di p, v8di *q, v8di *r)
{
	v8di qd = __builtin_convertvector((double)n / __builtin_convertvector(p, v8df), v8di);
	v8di rem = (v8di)(n - (v8du)qd * (v8du)p);

	*q = rem < 0 ? qd - 1 : qd;
	rem = rem < 0 ? rem + p : rem;
	*q = rem >= p ? *q + 1 : *q;
	*r = rem >= p ? rem - p : rem;
}

/*
 * For eight primes, each at most the square root of the unit's start n =
 * 30 b < 2^53: the byte at[] of the first multiple in or past the unit, the
 * first byte j[] of its round and its wheel index k[].  The first
 * multiple p m >= n has m = ceil(n / p), from a double quotient off by at
 * most one and corrected in integers; the next m coprime to 30 is 30 t +
 * wheel[k], at byte p t + (p / 30) wheel[k] + ((p mod 30) wheel[k]) / 30.
 * Each value is an integer below 2^53, exact in a double.
 */
static inline __attribute__((always_inline)) void
find_eight(u64 b, const u32 *ps, int32_t *at, int32_t *j, int32_t *k)
{
	const int64_t n = (int64_t)(30 * b);
	const double third = 1.0 / 30;
	v8si pi;

	memcpy(&pi, ps, sizeof pi);
	v8df p = __builtin_convertvector(pi, v8df);
	v8di pl = __builtin_convertvector(pi, v8di), q, r;
	quotient_eight((u64)n, pl, &q, &r);
	v8df m = __builtin_convertvector(q - (r != 0), v8df);
	v8df t = __builtin_convertvector(__builtin_convertvector(m * third, v8di), v8df);
	v8df res = m - 30 * t;
	t = res < 0 ? t - 1 : t;
	res = res < 0 ? res + 30 : res;
	t = res >= 30 ? t + 1 : t;
	res = res >= 30 ? res - 30 : res;
	v8df q30 = __builtin_convertvector(__builtin_convertvector(p * third, v8di), v8df);
	v8df pr = p - 30 * q30;
	/* k counts the wheel's residues below res; wheel[k] adds up their gaps. */
	v8di c[7];
	for (int i = 0; i < 7; i++)
		c[i] = res > (double)wheel[i];
	v8si ki = -__builtin_convertvector(c[0] + c[1] + c[2] + c[3] + c[4] + c[5] + c[6], v8si);
	v8df wk = __builtin_convertvector(1 + (c[0] & 6) + (c[1] & 4) + (c[2] & 2) + (c[3] & 4) +
		(c[4] & 2) + (c[5] & 4) + (c[6] & 6),
	    v8df);
	v8df add = __builtin_convertvector(__builtin_convertvector(pr * wk * third, v8di), v8df);
	v8df jd = p * t - (double)b;
	v8si ai = __builtin_convertvector(jd + q30 * wk + add, v8si);
	v8si ji = __builtin_convertvector(jd, v8si);

	memcpy(at, &ai, sizeof ai);
	memcpy(j, &ji, sizeof ji);
	memcpy(k, &ki, sizeof ki);
}

/*
 * As find_eight(), for any unit's start n = 30 b < 2^64 and primes from
 * 2^21 up to 2^32, in 64-bit integers where doubles are not exact: n as a
 * double is off by at most 2^10, so the quotient by p is off by less than
 * 1/2^11 besides its own rounding, and less than one in all.  The byte
 * at[] of the first multiple lies below 7 p / 30 past b; its round's j[]
 * lies at most p before b, and is kept only where p < 2^31.
 */
static inline __attribute__((always_inline)) void
find_eight_high(u64 b, const u32 *ps, int32_t *at, int32_t *j, int32_t *k)
{
	const u64 n = 30 * b;
	const double third = 1.0 / 30;
	v8su pu;

	memcpy(&pu, ps, sizeof pu);
	v8di pl = __builtin_convertvector(pu, v8di), q, r;
	v8df p = __builtin_convertvector(pl, v8df);
	quotient_eight(n, pl, &q, &r);
	v8di m = q - (r != 0);
	v8di t = __builtin_convertvector(__builtin_convertvector(m, v8df) * third, v8di);
	v8di res = m - 30 * t;
	t = res < 0 ? t - 1 : t;
	res = res < 0 ? res + 30 : res;
	t = res >= 30 ? t + 1 : t;
	res = res >= 30 ? res - 30 : res;
	v8di q30 = __builtin_convertvector(__builtin_convertvector(p * third, v8di), v8di);
	v8di pr = pl - 30 * q30;
	v8di c[7];
	for (int i = 0; i < 7; i++)
		c[i] = res > (int64_t)wheel[i];
	v8si ki = -__builtin_convertvector(c[0] + c[1] + c[2] + c[3] + c[4] + c[5] + c[6], v8si);
	v8di wk = 1 + (c[0] & 6) + (c[1] & 4) + (c[2] & 2) + (c[3] & 4) + (c[4] & 2) + (c[5] & 4) +
	    (c[6] & 6);
	v8di add = __builtin_convertvector(__builtin_convertvector(pr * wk, v8df) * third, v8di);
	v8di jd = (v8di)((v8du)(pl * t) - b);
	v8si ai = __builtin_convertvector(jd + q30 * wk + add, v8si);
	v8si ji = __builtin_convertvector(jd, v8si);

	memcpy(at, &ai, sizeof ai);
	memcpy(j, &ji, sizeof ji);
	memcpy(k, &ki, sizeof ki);
}

/* Four bits per residue r from `from` on: the distance from r to the next residue coprime to 30. */
static constexpr u64
residue_gaps(u32 from)
{
	u64 v = 0;
	for (u32 r = from; r < from + 16 && r < 30; r++) {
		u32 k = 0;
		while (k < 7 && wheel[k] < r)
			k++;
		v |= (u64)(wheel[k] - r) << 4 * (r - from);
	}
	return v;
}
static constexpr int64_t gaps_low = residue_gaps(0), gaps_high = residue_gaps(16);

/*
 * For eight primes from 2^21 up to 2^32 and a unit's start n = 30 b below
 * 2^64: where the first multiple p m >= n with m coprime to 30 lies, as
 * the byte at[] past b, and its distance x[] from n, whose residue mod 30
 * tells its bit.  With m0 = ceil(n / p) and e = p m0 - n < p, the next m
 * coprime to 30 is m0 + d, d the distance of m0 mod 30 to the next residue
 * coprime to 30 (at most 6), so x = e + d p, below 2^35, and at = x / 30.
 */
static inline __attribute__((always_inline)) void
first_bytes_high(u64 b, const u32 *ps, v8di *at, v8di *x)
{
	const u64 n = 30 * b;
	const double third = 1.0 / 30;
	v8su pu;

	memcpy(&pu, ps, sizeof pu);
	v8di p = __builtin_convertvector(pu, v8di), q, r;
	quotient_eight(n, p, &q, &r);
	v8di e = r != 0 ? p - r : 0;
	v8di m = r != 0 ? q + 1 : q;
	v8di t = __builtin_convertvector(__builtin_convertvector(m, v8df) * third, v8di);
	v8di res = m - 30 * t;
	res = res >= 30 ? res - 30 : res;
	v8di d = (res >= 16 ? v8di{} + gaps_high : v8di{} + gaps_low) >> ((res & 15) << 2) & 15;
	*x = e + d * p;
	*at = __builtin_convertvector(__builtin_convertvector(*x, v8df) * third, v8di);
}

#endif
