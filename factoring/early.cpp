/*
 * The early stop of a range of one block: the numbers still open after
 * the small primes, resolved by the kernel or by the large primes in
 * ascending order, whichever costs less.
 */
#include "early.h"

#include "bounds.h"
#include "factor.h"
#include "large.h"
#include "mark.h"
#include "small.h"

/*
 * The kernel tries a number's candidates up to its bound at about a third
 * of what listing and marking the primes up to that bound cost, as
 * measured for windows near 10^13 and 10^14.
 */
enum { LISTING_COST = 3 };

/*
 * What the small primes leave of a number is 1, a prime or the product of
 * two large primes; it needs the large primes only up to its root, and
 * none once one of them has marked it.  open_at[] holds the numbers that
 * may still need some, with the roots of their cofactors; need is the
 * largest such root, that of number need_at.
 */
static u32 open_at[BLOCK_LEN], open_root[BLOCK_LEN];
static int open_count;
static u32 need, need_at;

/* Drops the marked numbers and finds the largest root left. */
static void
find_need(void)
{
	int n = 0;

	need = 0;
	for (int k = 0; k < open_count; k++) {
		if (marks[open_at[k]] != 0)
			continue;
		open_at[n] = open_at[k];
		open_root[n] = open_root[k];
		if (open_root[n] > need) {
			need = open_root[n];
			need_at = open_at[n];
		}
		n++;
	}
	open_count = n;
}

/*
 * Marks the large primes in ascending order, a batch at a time, while
 * the open numbers need them: need is found again only when the number
 * that set it is marked.
 */
static void
mark_needed(bool kept)
{
	const u32 *ps;
	int n;

	large_begin(need, kept);
	while ((n = large_next(&ps, need)) > 0) {
		const u32 last = ps[n - 1];
		mark_batch(ps, n);
		if (need > last && marks[need_at] != 0)
			find_need();
		if (need <= last)
			break;
	}
}

/*
 * Factors each open cofactor by the kernel, each to its own bound, and
 * marks its smaller prime factor as the large primes would.
 */
static void
factor_open(void)
{
	for (int k = 0; k < open_count; k++) {
		factor_number((double)slots[open_at[k]].cof);
		if (factor_count > 1 || exponents[0] > 1)
			mark_found(open_at[k], (u32)factors[0]);
	}
}

void
early_factor(u64 a, u64 b, u32 root, bool kept, bool list_only)
{
	const u64 len = b - a + 1;
	u64 roots = 0;

	mark_segment(a, len);
	small_alone(a, (u32)len, root);
	open_count = 0;
	for (u64 i = 0; i < len; i++)
		if (slots[i].cof >= (u64)LARGE_FROM * LARGE_FROM) {
			open_at[open_count] = (u32)i;
			open_root[open_count++] = isqrt(slots[i].cof);
		}
	find_need();
	for (int k = 0; k < open_count; k++)
		roots += open_root[k];
	if (need < LARGE_FROM)
		return;
	if (kept || list_only || roots >= LISTING_COST * (u64)need)
		mark_needed(kept);
	else
		factor_open();
}
