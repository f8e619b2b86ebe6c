/*
 * Marking the large primes in a segment: the first multiples of eight
 * primes at a time from double quotients, built for several vector widths.
 */
#include "mark.h"

#include "wide.h"

u32 marks[SEGMENT_LEN];
u64 segment_base, segment_len;

void
mark_segment(u64 a, u64 len)
{
	segment_base = a;
	segment_len = len;
	memset(marks, 0, len * sizeof marks[0]);
}

void
mark_found(u64 i, u32 p)
{
	marks[i] = p;
}

/* ps[i ... n), fewer than len, with the last repeated to fill tail[0 ... len). */
static inline const u32 *
pad_tail(const u32 *ps, int i, int n, u32 *tail, int len)
{
	for (int k = 0; k < len; k++)
		tail[k] = ps[i + k < n ? i + k : n - 1];
	return tail;
}

/* Marks the multiples of the first m of the eight primes ps in the segment. */
static inline __attribute__((always_inline)) void
mark_eight(const u32 *ps, int m, const v8df &a, u32 len)
{
	u32 offs[8];

	if (!offsets8(ps, a, len, offs))
		return;
	for (int k = 0; k < m; k++)
		for (u32 off = offs[k]; off < len; off += ps[k])
			marks[off] = ps[k];
}

/*
 * In a segment shorter than half of every large prime p, the multiple of
 * p nearest to a = base - 1 lies at a - r, |r| <= p / 2: one follows in
 * the segment exactly when -len <= r < 0, at offset -r - 1.  The double
 * quotient a / p is off by far less than a half; rounded, it gives r
 * exactly, as both products lie below 2^53.
 */
static inline __attribute__((always_inline)) void
near_offsets(const u32 *ps, const v8df &a, v8su *offs)
{
	v8si pi;

	memcpy(&pi, ps, sizeof pi);
	v8df p = __builtin_convertvector(pi, v8df);
	v8df q = __builtin_convertvector(__builtin_convertvector(a / p + 0.5, v8di), v8df);
	*offs = (v8su) __builtin_convertvector(-1 - (a - q * p), v8si);
}

enum { NEAR_GROUP = 32 };

/*
 * Marks the large primes ps[0 ... n) in a segment shorter than LARGE_FROM
 * / 2.  Hits are rare there, so a group of 32 is passed over on one test.
 */
static inline __attribute__((always_inline)) void
mark_short_body(const u32 *ps, int n)
{
	const v8df a = (v8df){} + (double)(segment_base - 1);
	const u32 len = (u32)segment_len;
	u32 tail[NEAR_GROUP];

	for (int i = 0; i < n; i += NEAR_GROUP) {
		const u32 *g = n - i < NEAR_GROUP ? pad_tail(ps, i, n, tail, NEAR_GROUP) : ps + i;
		v8su offs[4];
		u64 any[4];
		for (size_t v = 0; v < 4; v++)
			near_offsets(g + 8 * v, a, &offs[v]);
		v8su hit = (offs[0] < len) | (offs[1] < len) | (offs[2] < len) | (offs[3] < len);
		memcpy(any, &hit, sizeof any);
		if ((any[0] | any[1] | any[2] | any[3]) == 0)
			continue;
		for (int k = 0; k < NEAR_GROUP; k++)
			if (offs[k / 8][k % 8] < len)
				marks[offs[k / 8][k % 8]] = g[k];
	}
}

/*
 * The offsets of the primes' multiples are independent of each other, so
 * they are found eight at a time; in a short segment most primes have
 * none.
 */
static inline __attribute__((always_inline)) void
mark_batch_body(const u32 *ps, int n)
{
	const v8df a = (v8df){} + (double)(segment_base - 1);
	const u32 len = (u32)segment_len;
	int i = 0;

	if (2 * len < LARGE_FROM) {
		mark_short_body(ps, n);
		return;
	}
	for (; i + 8 <= n; i += 8)
		mark_eight(ps + i, 8, a, len);
	if (i < n) {
		u32 tail[8];
		mark_eight(pad_tail(ps, i, n, tail, 8), n - i, a, len);
	}
}

WIDE_VARIANTS(, void, mark_batch, (const u32 *ps, int n), (ps, n))
