/*
 * The block path's driver: a range of one block is factored whole by
 * early_factor(); a longer one takes steps for its small primes and a
 * listing of its large ones, then goes block by block, marking each new
 * segment as it is reached.
 */
#include "block.h"

#include "early.h"
#include "large.h"
#include "mark.h"
#include "small.h"

static u32 root; /* the largest integer whose square is at most the range's end */
static u64 range_next, range_last;
static bool from_kept;
/* The block of a range of one block: factored, and ready for block_next(). */
static bool ready;
static u64 block_base;
/* The factors of the number block_result() loaded last. */
static found_factors found;

/*
 * The lengths measured where the two paths take the same time, whole
 * process against whole process: the larger the numbers, the sooner the
 * blocks' fixed cost is repaid.
 */
long
block_min(double end)
{
	static const struct {
		double below;
		long len;
	} crossover[] = {
	    {1e7, 256}, {1e8, 128}, {1e9, 64}, {1e11, 48}, {1e12, 32}, {FACTOR_LIMIT, 21}};
	int i = 0;

	while (end >= crossover[i].below)
		i++;
	return crossover[i].len;
}

void
block_begin(double start, double end, int how)
{
	u64 a = (u64)start, b = (u64)end;

	root = isqrt(b);
	range_next = a;
	range_last = b;
	from_kept = (how & BLOCK_KEPT) != 0;
	mark_segment(a, 0);
	if (from_kept && root >= LARGE_FROM)
		large_keep(b);
	ready = b - a < BLOCK_LEN;
	if (ready) {
		early_factor(a, b, root, from_kept, (how & BLOCK_LISTED) != 0);
		return;
	}
	small_begin(a, root);
	if (root >= LARGE_FROM && !from_kept)
		large_list(a, b, root);
}

long
block_next(void)
{
	u64 base = range_next, len;

	if (base > range_last)
		return 0;
	len = min_u64(range_last - base + 1, BLOCK_LEN);
	if (!ready) {
		if (root >= LARGE_FROM && base >= segment_base + segment_len) {
			mark_segment(base, min_u64(range_last - base + 1, SEGMENT_LEN));
			large_mark(root, from_kept);
		}
		small_block(base, len);
	}
	ready = false;
	block_base = base;
	range_next = base + len;
	return (long)len;
}

static void
append(u64 f, int e)
{
	found.factors[found.count] = (double)(int64_t)f;
	found.exponents[found.count++] = e;
}

/* Copies the first four entries of s into the table, as vectors. */
static inline void
four_slots(const slot *s)
{
	v4su f;

	memcpy(&f, s->fac, sizeof f);
	v4df fd = __builtin_convertvector((v4si)(f & 0xffff), v4df);
	v4si ei = (v4si)(f >> 16);
	memcpy(found.factors, &fd, sizeof fd);
	memcpy(found.exponents, &ei, sizeof ei);
}

/*
 * The cofactor left by the small primes is 1, a prime, or the product of
 * two primes of which the marks hold one if it is at most root.  The first
 * entries are copied whether used or not, and the cofactor is stored
 * before it is counted: this spares branches that could not be predicted.
 */
const found_factors *
block_result(long i)
{
	const slot *s = &slots[i];
	u64 c = s->cof;
	u32 g = 0;

	four_slots(s);
	for (u32 k = 4; k < s->count; k++) {
		found.factors[k] = s->fac[k] & 0xffff;
		found.exponents[k] = (int)(s->fac[k] >> 16);
	}
	found.count = (int)s->count;
	if (root >= LARGE_FROM && c > 1)
		g = marks[block_base - segment_base + (u64)i];
	if (g == 0) {
		found.factors[found.count] = (double)(int64_t)c;
		found.exponents[found.count] = 1;
		found.count += c > 1;
	} else if (c == g) {
		append(g, 1);
	} else if (c == (u64)g * g) {
		append(g, 2);
	} else {
		u64 r = c / g;
		append(r < g ? r : g, 1);
		append(r < g ? g : r, 1);
	}
	return &found;
}
