/*
 * The small and middle tiers: each unit starts its primes at their first
 * multiples, eight at a time, then crosses off part by part and segment by
 * segment, the patterns of 29 ... 157 ANDed in first where they serve.
 */
#include "tiers.h"

#include "big_tier.h"
#include "multiples.h"
#include "primes.h"
#include "wide.h"

enum {
	MIDDLE_FROM = 1 << 16,
	/* Primes from 29 below MIDDLE_FROM, and from there below BIG_FROM. */
	MAX_SMALL_TIER = 6533,
	MAX_MIDDLE_TIER = 149069,
	/* The middle tier crosses off this much of a unit at a time, in the L2 cache. */
	PART_BYTES = 1 << 20,
	/* Rounds are counted from here, so that a round may start before its unit. */
	ROUND_BIAS = 1 << 24,
	/* The places of the middle tier start on a cache line. */
	SMALL_PLACES_ALIGN = 16,
};

static u32 small_tier[MAX_SMALL_TIER];
static int small_tier_count;
static u32 *middle_tier;
static int middle_tier_count;
static bool more_presieved; /* presieve_more() removes 29 ... 157 */

size_t
tiers_bytes(u32 root)
{
	if (root < MIDDLE_FROM)
		return 0;
	return min_u64(MAX_MIDDLE_TIER, primes_below(root)) * sizeof(u32);
}

void
tiers_begin(void *area, bool more)
{
	middle_tier = static_cast<u32 *>(area);
	small_tier_count = middle_tier_count = 0;
	more_presieved = more;
}

void
tiers_take(const u32 *ps, int n)
{
	const u32 from = more_presieved ? MORE_FROM : 29;

	for (int i = 0; i < n && ps[i] < BIG_FROM; i++) {
		if (ps[i] < from)
			continue;
		if (ps[i] < MIDDLE_FROM)
			small_tier[small_tier_count++] = ps[i];
		else
			middle_tier[middle_tier_count++] = ps[i];
	}
}

long
tiers_count(void)
{
	return small_tier_count + middle_tier_count;
}

static int
small_places(void)
{
	return (small_tier_count + SMALL_PLACES_ALIGN - 1) / SMALL_PLACES_ALIGN *
	    SMALL_PLACES_ALIGN;
}

size_t
tiers_places(void)
{
	return (size_t)(small_places() + middle_tier_count) * sizeof(sieving);
}

/* The number of the primes of ps[0 ... count), ascending, whose square is at most n. */
static int
squares_to(const u32 *ps, int count, u64 n)
{
	int lo = 0, hi = count;

	while (lo < hi) {
		int mid = lo + (hi - lo) / 2;
		if ((u64)ps[mid] * ps[mid] <= n)
			lo = mid + 1;
		else
			hi = mid;
	}
	return lo;
}

/*
 * Starts the primes of ps whose square lies in or before the len bytes
 * from byte b on at their first multiples there, eight at a time those
 * whose square lies at or below the start, where the unit lies below
 * 2^53; returns how many.
 */
static inline __attribute__((always_inline)) int
start_tier_body(sieving *s, const u32 *ps, int count, u64 b, u32 len)
{
	const int n = squares_to(ps, count, byte_last(b + len - 1));
	const int before = b + len <= HIGH_BYTES ? squares_to(ps, count, 30 * b) : 0;
	int32_t at[8], j[8], k[8];
	int i = 0;

	for (; i + 8 <= before; i += 8) {
		find_eight(b, ps + i, at, j, k);
		for (int lane = 0; lane < 8; lane++) {
			s[i + lane].p = ps[i + lane];
			s[i + lane].r = (unsigned char)wheel_index(ps[i + lane]);
			s[i + lane].k = (unsigned char)k[lane];
			s[i + lane].round = (u32)(j[lane] + ROUND_BIAS);
		}
	}
	for (; i < n; i++) {
		u64 round;
		s[i].p = ps[i];
		s[i].r = (unsigned char)wheel_index(ps[i]);
		s[i].k = (unsigned char)first_round(ps[i], 30 * b, &round);
		s[i].round = (u32)(round - b + ROUND_BIAS);
	}
	return n;
}

WIDE_VARIANTS(static, int, start_tier, (sieving * s, const u32 *ps, int count, u64 b, u32 len),
    (s, ps, count, b, len))

bool
cross_tiers(unsigned char *bits, u64 b, u32 len, sieving *places, bool (*stopped)(void))
{
	sieving *small_at = places, *middle_at = places + small_places();
	const int middle = start_tier(middle_at, middle_tier, middle_tier_count, b, len);
	const int small = start_tier(small_at, small_tier, small_tier_count, b, len);

	for (u32 part = 0; part < len; part += PART_BYTES) {
		const u32 n = (u32)min_u64(len - part, PART_BYTES);
		for (int k = 0; k < middle; k++)
			cross_off(bits + part, ROUND_BIAS + part, n, &middle_at[k]);
		for (u32 i = part; i < part + n; i += SIEVE_BYTES) {
			const u32 m = (u32)min_u64(part + n - i, SIEVE_BYTES);
			if (stopped())
				return false;
			if (more_presieved)
				presieve_more(bits + i, b + i, m);
			for (int k = 0; k < small; k++)
				cross_off(bits + i, ROUND_BIAS + i, m, &small_at[k]);
		}
	}
	return true;
}
