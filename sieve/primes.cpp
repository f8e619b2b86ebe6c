/*
 * The listing: a segment of 32 KiB of the numbers coprime to 30 at a
 * time, presieved, crossed off by the primes from 29 up to the root of the
 * bound, and read off into batches as the caller asks for them.
 */
#include "primes.h"

#include <cassert>
#include <climits>
#include <cmath>

#include "odd_primes.h"
#include "wheel.h"

enum {
	/* Primes from 29 up to the square root of 2^32. */
	MAX_SIEVING = ODD_PRIME_COUNT,
	/* The index of 29 among the odd primes. */
	FIRST_SIEVING = 8,
	MORE_SEGMENTS = 2,
};

static_assert(odd_primes.p[FIRST_SIEVING] == 29, "the sieving primes start at 29");

/*
 * The primes from 29 up to the square root of the bound, from p^2 on;
 * those from sp[first_crossed] on cross off, the others are presieved.
 */
static sieving sp[MAX_SIEVING];
static int nsp, first_crossed;

/* The listing: the bound, its bytes, whether the patterns of 29 ... 157 serve. */
static u32 bound, top;
static bool more;
/* The segment sieved last, its first byte and length, and the bytes read off. */
static unsigned char seg[SIEVE_BYTES + 8];
static u32 seg_lo, seg_len, seg_read;
static bool fresh; /* 2, 3 and 5 are still to come */
static u32 batch[PRIME_BATCH + 8];

static void
make_sieving(u32 m, u32 from)
{
	nsp = first_crossed = 0;
	for (int i = FIRST_SIEVING;
	     i < ODD_PRIME_COUNT && (u64)odd_primes.p[i] * odd_primes.p[i] <= m; i++) {
		const u32 p = odd_primes.p[i];
		if (p < from)
			first_crossed = nsp + 1;
		sieving *s = &sp[nsp++];
		s->p = p;
		s->r = (unsigned char)wheel_index(p);
		s->k = s->r; /* p^2 = p (30 t + wheel[k]) for t = p / 30 */
		s->round = p * (p / 30);
	}
}

void
primes_begin(u32 m)
{
	bound = m;
	top = m / 30 + 1; /* bytes up to that of m */
	/* Its patterns repay their making from a few segments on. */
	more = top > MORE_SEGMENTS * SIEVE_BYTES;
	make_sieving(m, more ? MORE_FROM : 29);
	if (more)
		make_more_patterns();
	seg_lo = seg_len = seg_read = 0;
	fresh = true;
}

/* Sieves the segment after the last; false past the bound. */
static bool
sieve_segment(void)
{
	const u32 lo = seg_lo + seg_len;

	if (lo >= top)
		return false;
	seg_lo = lo;
	seg_len = top - lo < (u32)SIEVE_BYTES ? top - lo : (u32)SIEVE_BYTES;
	seg_read = 0;
	presieve(seg, lo, seg_len);
	if (more)
		presieve_more(seg, lo, seg_len);
	for (int i = first_crossed; i < nsp; i++)
		cross_off(seg, lo, seg_len, &sp[i]);
	if (lo + seg_len == top)
		clip_byte(seg + seg_len - 1, top - 1, 0, bound);
	return true;
}

int
primes_next(const u32 **ps)
{
	int n = 0;

	if (fresh) {
		for (u32 p : below_seven)
			if (p <= bound)
				batch[n++] = p;
		fresh = false;
	}
	for (;;) {
		if (seg_read == seg_len && !sieve_segment())
			break;
		const u32 k = (u32)min_u64(seg_len - seg_read, READ_BYTES);
		if (n > PRIME_BATCH - 8 * (int)k)
			break;
		n += read_off(seg + seg_read, k, 30 * (seg_lo + seg_read), batch + n);
		seg_read += k;
	}
	*ps = batch;
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
