#include "range.h"

#include <cassert>
#include <climits>
#include <cmath>
#include <sys/mman.h>

#include "primes.h"
#include "wheel.h"

enum {
	/*
	 * Primes from 29 below MIDDLE_FROM cross off a sieve segment at a
	 * time, those below LARGE_FROM a chunk of CHUNK_BYTES at a time, in
	 * the L2 cache: each call finds a few multiples.
	 */
	MIDDLE_FROM = 1 << 16,
	LARGE_FROM = 1 << 20,
	CHUNK_BYTES = 1 << 19,
	MAX_MEDIUM = 82016,
	/* Primes from LARGE_FROM up to the square root of RANGE_MAX. */
	MAX_LARGE = 5402573,
	/*
	 * Bytes presieved and crossed off by the large primes at a time.  Each
	 * large prime costs a division a block, and most have no multiple in a
	 * sieve segment.
	 */
	BLOCK_BYTES = 1 << 24,
	/* Rounds are counted from here, so that a round may start before its segment. */
	ROUND_BIAS = 1 << 24,
	/* Bytes read off at a time: at most PRIME_BATCH primes. */
	READ_BYTES = PRIME_BATCH / 8,
};

static sieving medium[MAX_MEDIUM];
static int medium_count, medium_active, middle_from;

/* Halved gaps between the large primes, from LARGE_FROM - 1 on. */
static unsigned char large_gaps[MAX_LARGE];
static int large_count;

/* Where the system has them, the block lies in huge pages of 2 MiB. */
#ifdef MADV_HUGEPAGE
#define BLOCK_ALIGN (1 << 21)
#else
#define BLOCK_ALIGN 64
#endif
alignas(BLOCK_ALIGN) static unsigned char block[BLOCK_BYTES + 8];

static u32 last_large;

static bool
take_sieving(const u32 *ps, int n)
{
	for (int i = 0; i < n; i++) {
		u32 p = ps[i];
		if (p < 29)
			continue;
		if (p < LARGE_FROM) {
			assert(medium_count < MAX_MEDIUM);
			if (p < MIDDLE_FROM)
				middle_from = medium_count + 1;
			medium[medium_count++].p = p;
		} else {
			/* The largest gap below 94906265 is 220. */
			assert(large_count < MAX_LARGE && p - last_large <= 2 * UCHAR_MAX);
			large_gaps[large_count++] = (unsigned char)((p - last_large) / 2);
			last_large = p;
		}
	}
	return true;
}

/* The wheel index and round of the first multiple p m >= n with m >= p coprime to 30. */
static int
first_multiple(u32 p, u64 n, u64 *round)
{
	u64 m = n / p + (n % p != 0);

	if (m < p)
		m = p;
	*round = p * (m / 30);
	return wheel_index(m);
}

/*
 * Starts the medium primes whose square lies below the end of the len
 * bytes from byte b on; lo is the round of byte b.
 */
static void
activate_medium(u64 b, u32 len, u32 lo)
{
	const u64 end = 30 * (b + len);

	for (; medium_active < medium_count; medium_active++) {
		sieving *s = &medium[medium_active];
		u64 round;
		if ((u64)s->p * s->p >= end)
			break;
		s->r = (unsigned char)wheel_index(s->p);
		s->k = (unsigned char)first_multiple(s->p, 30 * b, &round);
		s->round = (u32)(round - b + lo);
	}
}

/* Moves the rounds of the started medium primes down to ROUND_BIAS; returns it. */
static u32
rebase_medium(u32 lo)
{
	for (int i = 0; i < medium_active; i++)
		medium[i].round -= lo - ROUND_BIAS;
	return ROUND_BIAS;
}

/* Crosses off the multiples of the large primes in the block from byte b on. */
static void
cross_large(u64 b, u32 len)
{
	const u64 end = 30 * (b + len);
	u32 p = LARGE_FROM - 1;

	for (int i = 0; i < large_count; i++) {
		p += 2 * large_gaps[i];
		if ((u64)p * p >= end)
			break;
		const wheel_step *w = &wheel_steps.steps[wheel_index(p)];
		const u32 q = p / 30;
		u64 round;
		int k = first_multiple(p, 30 * b, &round);
		int64_t j = (int64_t)round - (int64_t)b;
		for (;;) {
			int64_t at = j + (int64_t)(q * wheel[k] + w->add[k]);
			if (at >= len)
				break;
			block[at] &= w->mask[k];
			if (++k == 8) {
				k = 0;
				j += p;
			}
		}
	}
}

static u32
isqrt(u64 n)
{
	u64 r = (u64)sqrt((double)n);

	while (r * r > n)
		r--;
	while ((r + 1) * (r + 1) <= n)
		r++;
	return (u32)r;
}

/* The range being sieved, and where its segments are handed. */
static u64 range_start, range_stop;
static void (*range_take)(u64, const u32 *, int);
/* The round of the byte being sieved. */
static u32 round_at;

static u32
min_u32(u32 a, u32 b)
{
	return a < b ? a : b;
}

/* Clears the bits of byte b of seg for numbers outside the range. */
static void
clip(unsigned char *seg, u64 b)
{
	for (int k = 0; k < 8; k++)
		if (30 * b + wheel[k] < range_start || 30 * b + wheel[k] > range_stop)
			*seg &= (unsigned char)~(1 << k);
}

/* Sieves the segment of len bytes from byte b on and hands over its primes. */
static void
sieve_segment(unsigned char *seg, u64 b, u32 len)
{
	static u32 offs[PRIME_BATCH + 8];
	const int small_end = medium_active < middle_from ? medium_active : middle_from;

	for (int k = 0; k < small_end; k++)
		cross_off(seg, round_at, len, &medium[k]);
	round_at += len;
	if (b == 0)
		seg[0] = (seg[0] & ~1u) | FIRST_BYTE_PRIMES;
	if (b == range_start / 30)
		clip(seg, b);
	if (b + len - 1 == range_stop / 30)
		clip(seg + len - 1, b + len - 1);
	for (u32 i = 0; i < len; i += READ_BYTES) {
		int n = read_off(seg + i, min_u32(len - i, READ_BYTES), 30 * i, offs);
		if (n > 0)
			range_take(30 * b, offs, n);
	}
}

static void
sieve_chunk(unsigned char *chunk, u64 b, u32 len)
{
	if (round_at > 1u << 31)
		round_at = rebase_medium(round_at);
	activate_medium(b, len, round_at);
	for (int k = middle_from; k < medium_active; k++)
		cross_off(chunk, round_at, len, &medium[k]);
	for (u32 i = 0; i < len; i += SIEVE_BYTES)
		sieve_segment(chunk + i, b + i, min_u32(len - i, SIEVE_BYTES));
}

void
range_primes(u64 start, u64 stop, void (*take)(u64, const u32 *, int))
{
	static const u32 below_seven[] = {2, 3, 5};
	u32 small[3];
	int n = 0;

	assert(stop <= RANGE_MAX);
	for (u32 p : below_seven)
		if (start <= p && p <= stop)
			small[n++] = p;
	if (n > 0)
		take(0, small, n);
	if (start > stop || stop < 7)
		return;
	medium_count = medium_active = middle_from = large_count = 0;
	last_large = LARGE_FROM - 1;
	list_primes(isqrt(stop), take_sieving);

	const u64 last = stop / 30;
	const u32 block_len = large_count > 0 ? BLOCK_BYTES : CHUNK_BYTES;
	range_start = start;
	range_stop = stop;
	range_take = take;
	round_at = ROUND_BIAS;
#ifdef MADV_HUGEPAGE
	if (large_count > 0)
		(void)madvise(block, BLOCK_BYTES, MADV_HUGEPAGE);
#endif
	for (u64 b = start / 30; b <= last; b += block_len) {
		const u32 len = last - b + 1 < block_len ? (u32)(last - b + 1) : block_len;
		presieve(block, b, len);
		cross_large(b, len);
		for (u32 i = 0; i < len; i += CHUNK_BYTES)
			sieve_chunk(block + i, b + i, min_u32(len - i, CHUNK_BYTES));
	}
}
