/*
 * A listing sieves a segment of the numbers coprime to 30 at a time: presieved, crossed off by the
 * primes from 29 up to the root of its last number, and read off into batches as the caller asks
 * for them.
 */
#include "primes.h"

#include <cassert>
#include <climits>
#include <cmath>

#include "multiples.h"

enum {
	/* The index of 29 among the odd primes. */
	FIRST_SIEVING = 8,
	/* The patterns of 29 ... 157 repay their making from a few segments on. */
	MORE_SEGMENTS = 2,
};

static_assert(odd_primes.p[FIRST_SIEVING] == 29, "the sieving primes start at 29");

/* The sieving primes, each at its first multiple from p^2 and from byte lo on. */
static void
make_sieving(listing *l, u32 lo, u32 from)
{
	l->nsp = l->first_crossed = 0;
	for (int i = FIRST_SIEVING;
	     i < ODD_PRIME_COUNT && (u64)odd_primes.p[i] * odd_primes.p[i] <= l->last; i++) {
		const u32 p = odd_primes.p[i];
		sieving *s = &l->sp[l->nsp++];
		u64 round;
		if (p < from)
			l->first_crossed = l->nsp;
		s->p = p;
		s->r = (unsigned char)wheel_index(p);
		s->k = (unsigned char)first_round(p, 30 * (u64)lo, &round);
		s->round = (u32)round;
	}
}

void
listing_begin(listing *l, u64 first, u32 last)
{
	const u32 lo = (u32)(first / 30);

	l->first = first;
	l->last = last;
	l->top = last / 30 + 1; /* bytes up to that of last */
	l->seg_bytes = last >= first + LONG_LISTING ? (u32)LIST_BYTES : (u32)SIEVE_BYTES;
	l->more = l->top > lo + MORE_SEGMENTS * SIEVE_BYTES;
	make_sieving(l, lo, l->more ? MORE_FROM : 29);
	if (l->more)
		make_more_patterns();
	l->seg_lo = lo;
	l->seg_len = l->seg_read = 0;
	l->fresh = true;
}

/* Sieves the segment after the last; false past the last number. */
static bool
sieve_segment(listing *l)
{
	const u32 lo = l->seg_lo + l->seg_len;

	if (lo >= l->top)
		return false;
	const u32 len = (u32)min_u64(l->top - lo, l->seg_bytes);
	l->seg_lo = lo;
	l->seg_len = len;
	l->seg_read = 0;
	presieve(l->seg, lo, len);
	if (l->more)
		presieve_more(l->seg, lo, len);
	for (int i = l->first_crossed; i < l->nsp; i++)
		cross_off(l->seg, lo, len, &l->sp[i]);
	if (lo == l->first / 30)
		clip_byte(l->seg, lo, l->first, l->last);
	if (lo + len == l->top)
		clip_byte(l->seg + len - 1, l->top - 1, l->first, l->last);
	return true;
}

int
listing_next(listing *l, const u32 **ps)
{
	int n = 0;

	if (l->fresh) {
		for (u32 p : below_seven)
			if (l->first <= p && p <= l->last)
				l->batch[n++] = p;
		l->fresh = false;
	}
	for (;;) {
		if (l->seg_read == l->seg_len && !sieve_segment(l))
			break;
		const u32 k = (u32)min_u64(l->seg_len - l->seg_read, READ_BYTES);
		if (n > PRIME_BATCH - 8 * (int)k)
			break;
		n +=
		    read_off(l->seg + l->seg_read, k, 30 * (l->seg_lo + l->seg_read), l->batch + n);
		l->seg_read += k;
	}
	*ps = l->batch;
	return n;
}

long
put_gaps(unsigned char *gaps, long count, u32 *last, const u32 *ps, int n)
{
	u32 prev = *last; /* in a local: the stores to gaps[] could change *last */

	for (int i = 0; i < n; i++) {
		assert(ps[i] > prev && ps[i] - prev <= 2 * UCHAR_MAX);
		gaps[count++] = (unsigned char)((ps[i] - prev) / 2);
		prev = ps[i];
	}
	*last = prev;
	return count;
}

size_t
primes_below(double x)
{
	return (size_t)(1.25506 * x / log(x)) + 1;
}
