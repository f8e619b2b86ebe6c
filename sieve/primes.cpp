#include "primes.h"

#include <cassert>
#include <climits>
#include <cmath>

#include "wheel.h"

enum {
	/* Primes from 29 up to the square root of 2^32. */
	MAX_SIEVING = 6600,
	MORE_SEGMENTS = 2,
};

static sieving sp[MAX_SIEVING];
static int nsp;

static bool
is_sieving_prime(u32 p)
{
	for (u32 d = 3; d <= 23; d += 2)
		if (p % d == 0)
			return false;
	for (int k = 0; k < nsp && sp[k].p * sp[k].p <= p; k++)
		if (p % sp[k].p == 0)
			return false;
	return true;
}

/*
 * The primes from 29 up to the square root of m, from p^2 on; those from
 * sp[first_crossed] on, from `from` on, are crossed off.
 */
static int first_crossed;

static void
make_sieving(u32 m, u32 from)
{
	nsp = first_crossed = 0;
	for (u32 p = 29; (u64)p * p <= m; p += 2) {
		if (!is_sieving_prime(p))
			continue;
		if (p < from)
			first_crossed = nsp + 1;
		sieving *s = &sp[nsp++];
		s->p = p;
		s->r = (unsigned char)wheel_index(p);
		s->k = s->r; /* p^2 = p (30 t + wheel[k]) for t = p / 30 */
		s->round = p * (p / 30);
	}
}

static u32 batch[PRIME_BATCH + 8];
static int batch_len;

/* Hands over the primes of seg, whose byte 0 is byte lo; false once take() has had enough. */
static bool
take_segment(const unsigned char *seg, u32 lo, u32 len, bool (*take)(const u32 *, int))
{
	for (u32 i = 0; i < len; i += READ_BYTES) {
		u32 n = len - i < (u32)READ_BYTES ? len - i : (u32)READ_BYTES;
		if (batch_len > PRIME_BATCH - 8 * (int)n) {
			int full = batch_len;
			batch_len = 0;
			if (!take(batch, full))
				return false;
		}
		batch_len += read_off(seg + i, n, 30 * (lo + i), batch + batch_len);
	}
	return true;
}

void
list_primes(u32 m, bool (*take)(const u32 *, int))
{
	static unsigned char seg[SIEVE_BYTES + 8];
	static const u32 below_seven[] = {2, 3, 5};
	const u32 top = m / 30 + 1; /* bytes up to that of m */
	/* Its patterns repay their making from a few segments on. */
	const bool more = top > MORE_SEGMENTS * SIEVE_BYTES;

	batch_len = 0;
	for (u32 p : below_seven)
		if (p <= m)
			batch[batch_len++] = p;
	make_sieving(m, more ? MORE_FROM : 29);
	if (more)
		make_more_patterns();
	for (u32 lo = 0; lo < top; lo += SIEVE_BYTES) {
		u32 len = top - lo < (u32)SIEVE_BYTES ? top - lo : (u32)SIEVE_BYTES;
		presieve(seg, lo, len);
		if (more)
			presieve_more(seg, lo, len);
		for (int i = first_crossed; i < nsp; i++)
			cross_off(seg, lo, len, &sp[i]);
		if (lo + len == top)
			clip_byte(seg + len - 1, top - 1, 0, m);
		if (!take_segment(seg, lo, len, take))
			return;
	}
	if (batch_len > 0)
		(void)take(batch, batch_len);
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
