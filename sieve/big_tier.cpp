/*
 * The big tier: the primes of a unit are decoded from their gaps a group
 * at a time, those with a multiple in the unit gathered without branches
 * and walked while the next group's bytes are fetched.
 */
#include "big_tier.h"

#include "multiples.h"
#include "primes.h"
#include "wide.h"

enum {
	/* Primes taken at a time, and those of them with a multiple in the unit. */
	BIG_GROUP = 64,
	/* Groups between looks at whether to stop: 1-2 ms of work. */
	BIG_LOOK = 1 << 10,
};

static unsigned char *big_gaps;
static long big_count;
static u32 last_big;

size_t
big_bytes(u32 root)
{
	return root < BIG_FROM ? 0 : primes_below(root);
}

void
big_begin(void *area)
{
	big_gaps = static_cast<unsigned char *>(area);
	big_count = 0;
	last_big = BIG_FROM - 1;
}

void
big_take(const u32 *ps, int n)
{
	int i = n;

	while (i > 0 && ps[i - 1] >= BIG_FROM)
		i--;
	big_count = put_gaps(big_gaps, big_count, &last_big, ps + i, n - i);
}

bool
big_any(void)
{
	return big_count > 0;
}

/* Clears the multiples of p in bits[0 ... len) from round byte j, wheel index k, on. */
static inline void
cross_from(unsigned char *bits, u32 len, u32 p, int64_t j, int k)
{
	const wheel_step *w = &wheel_steps.steps[wheel_index(p)];
	const u32 q = p / 30;

	for (;;) {
		int64_t at = j + (int64_t)(q * wheel[k] + w->add[k]);
		if (at >= len)
			return;
		bits[at] &= w->mask[k];
		if (++k == 8) {
			k = 0;
			j += p;
		}
	}
}

struct big_hits {
	u32 p[BIG_GROUP];
	int32_t j[BIG_GROUP];
	int32_t k[BIG_GROUP];
	int n;
};

/*
 * Adds the primes of ps[0 ... BIG_GROUP) with a multiple in the unit of
 * len bytes to h, with no branch on the primes, and fetches the byte of
 * each first multiple ahead of its store.
 */
static inline __attribute__((always_inline)) void
find_group(const unsigned char *bits, u64 b, u32 len, const u32 *ps, big_hits *h)
{
	int32_t at[BIG_GROUP], j[BIG_GROUP], k[BIG_GROUP];
	int c = h->n;

	if (b + len <= HIGH_BYTES)
		for (int i = 0; i < BIG_GROUP; i += 8)
			find_eight(b, ps + i, at + i, j + i, k + i);
	else
		for (int i = 0; i < BIG_GROUP; i += 8)
			find_eight_high(b, ps + i, at + i, j + i, k + i);
	for (int i = 0; i < BIG_GROUP; i++) {
		const bool hit = (u32)at[i] < len;
		__builtin_prefetch(bits + (hit ? at[i] : 0), 1);
		h->p[c] = ps[i];
		h->j[c] = j[i];
		h->k[c] = k[i];
		c += hit;
	}
	h->n = c;
}

/* Walks the primes of h, each from its first multiple in the unit. */
static void
walk_hits(unsigned char *bits, u32 len, big_hits *h)
{
	for (int i = 0; i < h->n; i++)
		cross_from(bits, len, h->p[i], h->j[i], h->k[i]);
	h->n = 0;
}

/*
 * A group at a time the primes whose square lies at or below the unit's
 * start, then one at a time those whose square lies in it.  The hits of a
 * group are walked while the next group's bytes arrive.
 */
static inline __attribute__((always_inline)) bool
cross_big_body(unsigned char *bits, u64 b, u32 len, bool (*stopped)(void))
{
	const u64 start = 30 * b, last = byte_last(b + len - 1);
	const long count = big_count;
	u32 group[BIG_GROUP], p = BIG_FROM - 1;
	big_hits h[2];
	int g = 0, fill = 0, groups = 0;
	long i = 0;

	h[0].n = h[1].n = 0;
	for (; i < count; i++) {
		u32 next = p + 2 * big_gaps[i];
		if ((u64)next * next > start)
			break;
		group[g++] = p = next;
		if (g < BIG_GROUP)
			continue;
		g = 0;
		find_group(bits, b, len, group, &h[fill]);
		fill ^= 1;
		walk_hits(bits, len, &h[fill]);
		if (++groups % BIG_LOOK == 0 && stopped())
			return false;
	}
	if (g > 0) {
		/* The last prime again: crossing its multiples twice changes nothing. */
		for (int k = g; k < BIG_GROUP; k++)
			group[k] = p;
		find_group(bits, b, len, group, &h[fill]);
	}
	walk_hits(bits, len, &h[fill ^ 1]);
	walk_hits(bits, len, &h[fill]);
	for (; i < count; i++) {
		p += 2 * big_gaps[i];
		if ((u64)p * p > last)
			break;
		u64 round;
		int k = first_round(p, start, &round);
		cross_from(bits, len, p, (int64_t)(round - b), k);
	}
	return true;
}

WIDE_VARIANTS(, bool, cross_big, (unsigned char *bits, u64 b, u32 len, bool (*stopped)(void)),
    (bits, b, len, stopped))
