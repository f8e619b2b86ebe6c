/*
 * The large primes' sources: a listing of the sieve, marked as it comes;
 * the halved gaps kept from it; the kept list.  Each hands its primes to
 * mark_batch() in ascending batches.
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
/* While listing: whether the gaps are kept, up to which prime, and the bound marked. */
static bool listing;
static u32 last_listed, list_top;

/* The kept list: the large primes up to kept_to, as they are. */
static u32 kept[MAX_LARGE];
static long kept_count;
static u32 kept_to;

/* While marking what the segment needs: the bound, and how to find it again. */
static u32 needed;
static u32 (*needed_after)(u32 last);

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

/* Marks the large primes in the first segment, and keeps their gaps if listing. */
static bool
take_listed(const u32 *ps, int n)
{
	int i = first_large(ps, n);

	if (listing)
		gap_count = put_gaps(prime_gaps, gap_count, &last_listed, ps + i, n - i);
	int m = up_to(ps, i, n, list_top);
	if (i < m)
		mark_batch(ps + i, m - i);
	return true;
}

void
large_list(u64 a, u64 b, u32 root)
{
	mark_segment(a, min_u64(b - a + 1, SEGMENT_LEN));
	if (root <= listed_to) {
		large_mark(root, false);
		return;
	}
	listing = b - a >= SEGMENT_LEN;
	if (listing) {
		gap_count = 0;
		last_listed = LARGE_FROM - 1;
	}
	list_top = root;
	list_primes(root, take_listed);
	if (listing)
		listed_to = root;
}

void
large_mark(u32 top, bool from_kept)
{
	static u32 ps[PRIME_BATCH];
	u32 p = LARGE_FROM - 1;
	int n = 0;

	if (from_kept) {
		long count = 0;
		while (count < kept_count && kept[count] <= top)
			count++;
		for (long i = 0; i < count; i += PRIME_BATCH)
			mark_batch(kept + i, (int)min_u64(PRIME_BATCH, (u64)(count - i)));
		return;
	}
	for (long i = 0, count = gap_count; i < count; i++) {
		p += 2 * prime_gaps[i];
		if (p > top)
			break;
		ps[n++] = p;
		if (n == PRIME_BATCH) {
			mark_batch(ps, n);
			n = 0;
		}
	}
	mark_batch(ps, n);
}

/* Marks the large primes of a batch while the segment's numbers need them. */
static bool
take_needed(const u32 *ps, int n)
{
	int i = first_large(ps, n), m = up_to(ps, i, n, needed);

	if (i < m)
		mark_batch(ps + i, m - i);
	if (m < n)
		return false;
	if (i == n)
		return true;
	needed = needed_after(ps[n - 1]);
	return needed > ps[n - 1];
}

/* As take_needed(), from the kept list. */
static void
mark_kept(void)
{
	for (long i = 0; i < kept_count && kept[i] <= needed;) {
		int n = (int)min_u64(KEPT_BATCH, (u64)(kept_count - i));
		n = up_to(kept + i, 0, n, needed);
		mark_batch(kept + i, n);
		i += n;
		needed = needed_after(kept[i - 1]);
		if (needed <= kept[i - 1])
			break;
	}
}

void
large_mark_needed(u32 need, u32 (*need_after)(u32 last), bool from_kept)
{
	needed = need;
	needed_after = need_after;
	if (from_kept)
		mark_kept();
	else
		list_primes(need, take_needed);
}

static bool
take_kept(const u32 *ps, int n)
{
	long count = kept_count;

	for (int i = first_large(ps, n); i < n; i++)
		kept[count++] = ps[i];
	kept_count = count;
	return true;
}

void
large_keep(u64 b)
{
	u64 t = 10;

	if (isqrt(b) <= kept_to)
		return;
	while (t <= b)
		t *= 10;
	kept_count = 0;
	kept_to = isqrt(t - 1);
	list_primes(kept_to, take_kept);
}

void
large_drop(void)
{
	kept_count = 0;
	kept_to = 0;
}
