/*
 * The huge tier: each unit lists the tier's primes up to the root of its
 * last number and crosses off the one multiple each may have there.  The
 * multiples of a batch of primes are gathered without branches, their
 * bytes fetched, and crossed off after the next batch is gathered: each
 * lies anywhere in the unit, most often outside the caches.
 */
#include "huge_tier.h"

#include "multiples.h"
#include "wide.h"

/* Batches of the listing between looks at whether to stop: about a millisecond. */
enum { HUGE_LOOK = 64 };

static u32 huge_root;

void
huge_begin(u32 root)
{
	huge_root = root;
}

bool
huge_any(void)
{
	return huge_root >= HUGE_FROM;
}

/* Adds the multiple x past the unit's start, at byte at, to the batch, and fetches its byte. */
static inline int
gather(unsigned char *bits, u32 *at_of, unsigned char *mask_of, int c, u64 x, u64 at)
{
	at_of[c] = (u32)at;
	mask_of[c] = (unsigned char)~(1 << next_index[x - 30 * at]);
	__builtin_prefetch(bits + at, 1);
	return c + 1;
}

/*
 * Gathers the multiples of ps[0 ... n) in the unit, eight primes at a
 * time, and returns their count.  Most primes have none there, so a group
 * of eight is passed over on one test.
 */
static inline __attribute__((always_inline)) int
gather_batch(unsigned char *bits, u64 b, u32 len, const u32 *ps, int n, u32 below, u32 *at_of,
    unsigned char *mask_of)
{
	u32 tail[8];
	int c = 0, m = n;

	while (m > 0 && ps[m - 1] > below)
		m--;
	for (int i = 0; i < m; i += 8) {
		const u32 *g = ps + i;
		const int lanes = m - i < 8 ? m - i : 8;
		if (lanes < 8) {
			for (int lane = 0; lane < 8; lane++)
				tail[lane] = ps[i + (lane < lanes ? lane : lanes - 1)];
			g = tail;
		}
		v8di at, x;
		first_bytes_high(b, g, &at, &x);
		v8si in = __builtin_convertvector(at < (int64_t)len, v8si);
		u64 any[4];
		memcpy(any, &in, sizeof any);
		if ((any[0] | any[1] | any[2] | any[3]) == 0)
			continue;
		for (int lane = 0; lane < lanes; lane++)
			if (in[lane] != 0)
				c = gather(bits, at_of, mask_of, c, (u64)x[lane], (u64)at[lane]);
	}
	/* Primes whose square lies in the unit: their multiples from p^2 on. */
	for (int i = m; i < n; i++) {
		const u32 p = ps[i];
		u64 round;
		const int k = first_round(p, 30 * b, &round);
		/* Exact modulo 2^64, where p m may pass it and the distance does not. */
		const u64 x = 30 * (round - b) + (u64)p * wheel[k];
		if (x / 30 < len)
			c = gather(bits, at_of, mask_of, c, x, x / 30);
	}
	return c;
}

static void
cross_gathered(unsigned char *bits, const u32 *at_of, const unsigned char *mask_of, int c)
{
	for (int i = 0; i < c; i++)
		bits[at_of[i]] &= mask_of[i];
}

static inline __attribute__((always_inline)) bool
cross_huge_body(unsigned char *bits, u64 b, u32 len, huge_work *w, bool (*stopped)(void))
{
	const u32 top = (u32)min_u64(huge_root, isqrt(byte_last(b + len - 1)));
	const u32 below = isqrt(30 * b);
	const u32 *ps;
	int n, fill = 0, gathered[2] = {0, 0};

	if (top < HUGE_FROM)
		return true;
	listing_begin(&w->list, HUGE_FROM, top);
	for (long batches = 1; (n = listing_next(&w->list, &ps)) > 0; batches++) {
		gathered[fill] =
		    gather_batch(bits, b, len, ps, n, below, w->at[fill], w->mask[fill]);
		fill ^= 1;
		cross_gathered(bits, w->at[fill], w->mask[fill], gathered[fill]);
		gathered[fill] = 0;
		if (batches % HUGE_LOOK == 0 && stopped())
			return false;
	}
	cross_gathered(bits, w->at[fill ^ 1], w->mask[fill ^ 1], gathered[fill ^ 1]);
	return true;
}

WIDE_VARIANTS(, bool, cross_huge,
    (unsigned char *bits, u64 b, u32 len, huge_work *w, bool (*stopped)(void)),
    (bits, b, len, w, stopped))
