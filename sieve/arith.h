/*
 * Integer helpers and vector types that the sieves and the block path
 * share.  First multiples come from double quotients: below 2^53 the
 * quotient of two integers, rounded to a double, is off by less than one
 * from the true one, and the product and difference that correct it are
 * exact.
 */
#ifndef QUARN_ARITH_H
#define QUARN_ARITH_H

#include <cmath>
#include <cstdint>
#include <cstring>

typedef uint32_t u32;
typedef uint64_t u64;

typedef double v8df __attribute__((vector_size(64)));
typedef int64_t v8di __attribute__((vector_size(64)));
typedef int32_t v8si __attribute__((vector_size(32)));
typedef u32 v8su __attribute__((vector_size(32)));
typedef double v4df __attribute__((vector_size(32)));
typedef int32_t v4si __attribute__((vector_size(16)));
typedef u32 v4su __attribute__((vector_size(16)));

static inline u64
min_u64(u64 a, u64 b)
{
	return a < b ? a : b;
}

/* The largest integer whose square is at most n; below 2^32, whose square would pass 2^64. */
static inline u32
isqrt(u64 n)
{
	u64 r = (u64)sqrt((double)n);

	if (r > UINT32_MAX)
		r = UINT32_MAX;
	while (r * r > n)
		r--;
	while (r < UINT32_MAX && (r + 1) * (r + 1) <= n)
		r++;
	return (u32)r;
}

/* The quotient n / d rounded up, for n < 2^53 and 0 < d < 2^32. */
static inline u64
ceil_div(u64 n, u64 d)
{
	u64 q = (u64)((double)n / (double)d);
	int64_t r = (int64_t)(n - q * d); /* in (-d, 2d) */

	if (r > (int64_t)d) {
		q++;
		r -= (int64_t)d;
	}
	return q + (r > 0);
}

/*
 * For each p of ps[0 ... 8), p - 1 - a mod p: the offset of its first
 * multiple from a + 1 on, for a < 2^47 and p < 2^24.  Returns whether
 * any offset is below len.
 */
static inline __attribute__((always_inline)) bool
offsets8(const u32 *ps, const v8df &a, u32 len, u32 *offs)
{
	v8si pi;
	u64 any[4];

	memcpy(&pi, ps, sizeof pi);
	v8df p = __builtin_convertvector(pi, v8df);
	v8df q = __builtin_convertvector(__builtin_convertvector(a / p, v8di), v8df);
	v8df r = a - q * p;
	r = r < 0 ? r + p : r;
	r = r >= p ? r - p : r;
	v8su off = __builtin_convertvector(p - 1 - r, v8su);
	memcpy(offs, &off, sizeof off);
	v8su hit = off < len;
	memcpy(any, &hit, sizeof any);
	return (any[0] | any[1] | any[2] | any[3]) != 0;
}

#endif
