/*
 * The large primes' sources: a listing of the sieve, marked as it comes;
 * the halved gaps kept from it; the kept list.  Each hands its primes
 * over in ascending batches.
 */
#include "large.h"

#include "bounds.h"
#include "mark.h"
#include "primes.h"

enum { KEPT_BATCH = 1024 };

/*
 * Halved gaps between the large primes up to listed_to, from LARGE_FROM - 1
 * on, kept for ranges of more than one segment and for later ranges.
 */
static unsigned char prime_gaps[MAX_LARGE];
static long gap_count;
static u32 listed_to;

/* The kept list: the large primes up to kept_to, as they are. */
static u32 kept[MAX_LARGE];
static long kept_count;
static u32 kept_to;

/* The listing of the large primes, for a range or for the kept list. */
static listing primes;

/* What large_next() reads, how far it has read, and the primes it decoded. */
static enum { FROM_KEPT, FROM_GAPS, FROM_LISTING } source;
static long read_at;
static u32 read_last;
static bool listing_over;
static u32 decoded[PRIME_BATCH];

/* The index of the first large prime of ps[0 ... n), or n. */
static int
first_large(const u32 *ps, int n)
{
	int i = 0;

	while (i < n && ps[i] < LARGE_FROM)
		i++;
	return i;
}

/* The number of primes of ps[i ... n) up to top, from i on. */
static int
up_to(const u32 *ps, int i, int n, u32 top)
{
	while (n > i && ps[n - 1] > top)
		n--;
	return n;
}

void
large_list(u64 a, u64 b, u32 root)
{
	const bool keep = b - a >= SEGMENT_LEN;
	u32 last = LARGE_FROM - 1;
	const u32 *ps;
	int n;

	mark_segment(a, min_u64(b - a + 1, SEGMENT_LEN));
	if (root <= listed_to) {
		large_mark(root, false);
		return;
	}
	if (keep)
		gap_count = 0;
	listing_begin(&primes, 0, root);
	while ((n = listing_next(&primes, &ps)) > 0) {
		const int i = first_large(ps, n);
		if (keep)
			gap_count = put_gaps(prime_gaps, gap_count, &last, ps + i, n - i);
		if (i < n)
			mark_batch(ps + i, n - i);
	}
	if (keep)
		listed_to = root;
}

void
large_begin(u32 top, bool from_kept)
{
	source = from_kept ? FROM_KEPT : top <= listed_to ? FROM_GAPS : FROM_LISTING;
	read_at = 0;
	read_last = LARGE_FROM - 1;
	listing_over = false;
	if (source == FROM_LISTING)
		listing_begin(&primes, 0, top);
}

/* The next primes of the gaps up to top. */
static int
next_gaps(const u32 **ps, u32 top)
{
	u32 p = read_last;
	int n = 0;

	for (long i = read_at, count = gap_count; n < PRIME_BATCH && i < count; i++) {
		p += 2 * prime_gaps[i];
		if (p > top)
			break;
		decoded[n++] = p;
	}
	read_at += n;
	read_last = n > 0 ? decoded[n - 1] : read_last;
	*ps = decoded;
	return n;
}

/* The next large primes of the listing up to top; the listing is over past it. */
static int
next_listed(const u32 **ps, u32 top)
{
	const u32 *all;
	int n;

	while (!listing_over && (n = listing_next(&primes, &all)) > 0) {
		const int i = first_large(all, n), m = up_to(all, i, n, top);
		listing_over = m < n;
		if (i < m) {
			*ps = all + i;
			return m - i;
		}
	}
	return 0;
}

int
large_next(const u32 **ps, u32 top)
{
	int n;

	switch (source) {
	case FROM_KEPT:
		n = (int)min_u64(KEPT_BATCH, (u64)(kept_count - read_at));
		n = up_to(kept + read_at, 0, n, top);
		*ps = kept + read_at;
		read_at += n;
		return n;
	case FROM_GAPS:
		return next_gaps(ps, top);
	default:
		return next_listed(ps, top);
	}
}

void
large_mark(u32 top, bool from_kept)
{
	const u32 *ps;
	int n;

	large_begin(top, from_kept);
	while ((n = large_next(&ps, top)) > 0)
		mark_batch(ps, n);
}

void
large_keep(u64 b)
{
	u64 t = 10;
	const u32 *ps;
	int n;

	if (isqrt(b) <= kept_to)
		return;
	while (t <= b)
		t *= 10;
	kept_count = 0;
	kept_to = isqrt(t - 1);
	listing_begin(&primes, 0, kept_to);
	while ((n = listing_next(&primes, &ps)) > 0)
		for (int i = first_large(ps, n); i < n; i++)
			kept[kept_count++] = ps[i];
}

void
large_drop(void)
{
	kept_count = 0;
	kept_to = 0;
}
