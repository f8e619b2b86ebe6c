#include "block.h"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "factor.h"
#include "primes.h"
#include "wide.h"

enum {
	/*
	 * Primes from here on are large.  46416^3 > 10^14, so a number has at
	 * most two large prime factors, counted with multiplicity.
	 */
	LARGE_FROM = 46416,
	/* Large primes below 10^7, the square root bound of every number. */
	MAX_LARGE = 660000,
	/* Odd primes below LARGE_FROM. */
	MAX_SMALL = 4800,
	/* Odd primes below LARGE_FROM and their powers below BLOCK_LEN. */
	MAX_STEPS = 4900,
	/* Distinct small prime factors of a number below 10^14. */
	SMALL_SLOTS = 12,
};

/*
 * A number of the block: its cofactor and the small primes divided out,
 * each as p + 2^16 e for its exponent e.  One cache line each.
 */
struct alignas(64) slot {
	u64 cof;
	u32 fac[SMALL_SLOTS];
	u32 count;
};

enum { EXP_ONE = 1 << 16 };

/* The multiples of q = p^k, a power of a small odd prime p. */
struct step {
	u64 next; /* the next multiple not yet reached */
	u64 q;
	u64 inv; /* p * inv = 1 modulo 2^64 */
	u64 lim; /* c * inv <= lim exactly when p divides c */
	u32 p;
	bool first; /* k = 1: p joins the factors */
	bool last;  /* p * q >= BLOCK_LEN: higher powers are divided out here */
};

/* The odd primes below LARGE_FROM, the last repeated to fill a group of eight. */
struct small_table {
	u32 p[MAX_SMALL + 8];
	int count;
};

static constexpr small_table
make_small_table()
{
	small_table t{};
	bool composite[LARGE_FROM] = {};

	for (u32 n = 3; n < LARGE_FROM; n += 2) {
		if (composite[n])
			continue;
		t.p[t.count++] = n;
		for (u32 m = n * n; m < LARGE_FROM; m += 2 * n)
			composite[m] = true;
	}
	for (int k = 0; k < 8; k++)
		t.p[t.count + k] = t.p[t.count - 1];
	return t;
}

/* Made at compile time: a table in read-only data costs no work and few page faults. */
alignas(32) static constexpr small_table small = make_small_table();
static constexpr const u32 *small_primes = small.p;
static constexpr int small_count = small.count;
static_assert(small_count <= MAX_SMALL, "MAX_SMALL holds the small primes");

/*
 * Halved gaps between the large primes up to listed_to, from LARGE_FROM - 1
 * on, kept for ranges of more than one segment and for later ranges.
 */
static unsigned char prime_gaps[MAX_LARGE];
static long large_count;
static u32 listed_to;

/*
 * The dialogue's large primes up to kept_to, as they are, so that each
 * answer reads only as many as its numbers need.
 */
static u32 kept[MAX_LARGE];
static long kept_count;
static u32 kept_to;
static bool keep;

static step steps[MAX_STEPS];
static int all_steps, step_count;
static int steps_for; /* the small primes that have steps */

static u32 root; /* the largest integer whose square is at most the range's end */

static u64 range_next, range_last;

/* big[i] is a large prime dividing segment number i, or 0. */
static u32 big[SEGMENT_LEN];
static u64 segment_base, segment_len;

static slot slots[BLOCK_LEN];
static u64 block_base;

static u64
inverse(u64 p)
{
	u64 x = p; /* right to 3 bits; each step doubles them */

	for (int i = 0; i < 5; i++)
		x *= 2 - p * x;
	return x;
}

/* The first multiple of q from a on; the double quotient is off by at most one. */
static u64
first_multiple(u64 a, u64 q)
{
	u64 m = (u64)((double)(a + q - 1) / (double)q) * q;

	if (m < a)
		m += q;
	else if (m - a >= q)
		m -= q;
	return m;
}

/* Steps for the odd primes below LARGE_FROM up to top and their powers, made once. */
static void
make_steps(u32 top)
{
	for (; steps_for < small_count && small_primes[steps_for] <= top; steps_for++) {
		u32 p = small_primes[steps_for];
		u64 inv = inverse(p), lim = UINT64_MAX / p;
		for (u64 q = p;; q *= p) {
			assert(all_steps < MAX_STEPS);
			step *st = &steps[all_steps++];
			st->q = q;
			st->inv = inv;
			st->lim = lim;
			st->p = p;
			st->first = q == p;
			st->last = q * p >= BLOCK_LEN;
			if (st->last)
				break;
		}
	}
}

/* Takes the steps of the primes up to root, from a on. */
static void
start_steps(u64 a)
{
	step_count = 0;
	while (step_count < all_steps && steps[step_count].p <= root) {
		steps[step_count].next = first_multiple(a, steps[step_count].q);
		step_count++;
	}
}

/* Marks the multiples of the first m of the eight primes ps in the segment. */
static inline __attribute__((always_inline)) void
mark_eight(const u32 *ps, int m, const v8df &a, u32 len)
{
	u32 offs[8];

	if (!offsets8(ps, a, len, offs))
		return;
	for (int k = 0; k < m; k++)
		for (u32 off = offs[k]; off < len; off += ps[k])
			big[off] = ps[k];
}

/*
 * In a segment shorter than half of every large prime p, the multiple of
 * p nearest to a = base - 1 lies at a - r, |r| <= p / 2: one follows in
 * the segment exactly when -len <= r < 0, at offset -r - 1.  The double
 * quotient a / p is off by far less than a half; rounded, it gives r
 * exactly, as both products lie below 2^53.
 */
static inline __attribute__((always_inline)) void
near_offsets(const u32 *ps, const v8df &a, v8su *offs)
{
	v8si pi;

	memcpy(&pi, ps, sizeof pi);
	v8df p = __builtin_convertvector(pi, v8df);
	v8df q = __builtin_convertvector(__builtin_convertvector(a / p + 0.5, v8di), v8df);
	*offs = (v8su) __builtin_convertvector(-1 - (a - q * p), v8si);
}

enum { NEAR_GROUP = 32 };

/*
 * Marks the large primes ps[0 ... n) in a segment shorter than LARGE_FROM
 * / 2.  Hits are rare there, so a group of 32 is passed over on one test.
 */
static inline __attribute__((always_inline)) void
mark_short_body(const u32 *ps, int n)
{
	const v8df a = (v8df){} + (double)(segment_base - 1);
	const u32 len = (u32)segment_len;
	u32 tail[NEAR_GROUP];

	for (int i = 0; i < n; i += NEAR_GROUP) {
		const u32 *g = ps + i;
		if (n - i < NEAR_GROUP) {
			for (int k = 0; k < NEAR_GROUP; k++)
				tail[k] = ps[i + k < n ? i + k : n - 1];
			g = tail;
		}
		v8su offs[4];
		u64 any[4];
		for (size_t v = 0; v < 4; v++)
			near_offsets(g + 8 * v, a, &offs[v]);
		v8su hit = (offs[0] < len) | (offs[1] < len) | (offs[2] < len) | (offs[3] < len);
		memcpy(any, &hit, sizeof any);
		if ((any[0] | any[1] | any[2] | any[3]) == 0)
			continue;
		for (int k = 0; k < NEAR_GROUP; k++)
			if (offs[k / 8][k % 8] < len)
				big[offs[k / 8][k % 8]] = g[k];
	}
}

/*
 * Marks the multiples of the large primes ps[0 ... n) in the segment.
 * Their offsets are independent of each other, so they are found eight at
 * a time; in a short segment most primes have no multiple.
 */
static inline __attribute__((always_inline)) void
mark_batch_body(const u32 *ps, int n)
{
	const v8df a = (v8df){} + (double)(segment_base - 1);
	const u32 len = (u32)segment_len;
	int i = 0;

	if (2 * len < LARGE_FROM) {
		mark_short_body(ps, n);
		return;
	}
	for (; i + 8 <= n; i += 8)
		mark_eight(ps + i, 8, a, len);
	if (i < n) {
		u32 tail[8];
		for (int k = 0; k < 8; k++)
			tail[k] = ps[i + k < n ? i + k : n - 1];
		mark_eight(tail, n - i, a, len);
	}
}

WIDE_VARIANTS(static, void, mark_batch, (const u32 *ps, int n), (ps, n))

/* Divides every power of p out of the slots at off, off + p, ... below len. */
static void
divide_out(u32 p, u32 off, u32 len)
{
	const u64 inv = inverse(p);

	for (; off < len; off += p) {
		slot *s = &slots[off];
		u64 c = s->cof * inv;
		u32 e = EXP_ONE + p;
		/* For c < 2^64 / p, c * inv <= c exactly when p divides c. */
		for (u64 x = c * inv; x <= c; x = c * inv) {
			c = x;
			e += EXP_ONE;
		}
		s->cof = c;
		s->fac[s->count++] = e;
	}
}

/*
 * Divides the odd primes up to root and below LARGE_FROM out of the len
 * numbers of a range of one block from a on.  Their first multiples are
 * found eight at a time; most primes have none in a short range.
 */
static inline __attribute__((always_inline)) void
divide_small_body(u64 a, u32 len)
{
	const v8df before = (v8df){} + (double)(a - 1);
	int n = 0;

	while (n < small_count && small_primes[n] <= root)
		n++;
	for (int i = 0; i < n; i += 8) {
		u32 offs[8];
		if (!offsets8(small_primes + i, before, len, offs))
			continue;
		for (int k = 0; k < 8 && i + k < n; k++)
			if (offs[k] < len)
				divide_out(small_primes[i + k], offs[k], len);
	}
}

WIDE_VARIANTS(static, void, divide_small, (u64 a, u32 len), (a, len))

static void
start_segment(u64 a)
{
	segment_base = a;
	segment_len = min_u64(range_last - a + 1, SEGMENT_LEN);
	memset(big, 0, segment_len * sizeof big[0]);
}

/* Marks the multiples of the large primes up to root in the segment from a on. */
static void
mark_large(u64 a)
{
	static u32 ps[PRIME_BATCH];
	const u32 top = root; /* in a local: the stores to ps[] might change root */
	u32 p = LARGE_FROM - 1;
	int n = 0;

	start_segment(a);
	if (keep) {
		long count = 0;
		while (count < kept_count && kept[count] <= top)
			count++;
		for (long i = 0; i < count; i += PRIME_BATCH)
			mark_batch(kept + i, (int)min_u64(PRIME_BATCH, (u64)(count - i)));
		return;
	}
	for (long i = 0, count = large_count; i < count; i++) {
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

/* Set where the large primes listed for a range are kept as gaps. */
static bool listing;
static u32 last_listed;

/* Marks the large primes in the first segment, and lists them if asked. */
static bool
take_listed(const u32 *ps, int n)
{
	int i = first_large(ps, n);

	if (listing) {
		/* In locals: the stores to prime_gaps[] could change any global. */
		long count = large_count;
		u32 last = last_listed;
		for (int k = i; k < n; k++) {
			prime_gaps[count++] = (unsigned char)((ps[k] - last) / 2);
			last = ps[k];
		}
		large_count = count;
		last_listed = last;
	}
	int m = up_to(ps, i, n, root);
	if (i < m)
		mark_batch(ps + i, m - i);
	return true;
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

/*
 * Lists the large primes for the dialogue up to the root of the largest
 * number with as many digits as b, so that answers of like size list once.
 */
static void
keep_listing(u64 b)
{
	u64 t = 10;

	while (t <= b)
		t *= 10;
	kept_count = 0;
	kept_to = isqrt(t - 1);
	list_primes(kept_to, take_kept);
}

/*
 * Marks the first segment of a range of more than one block while the
 * primes up to root are sieved; a range of more than one segment also
 * lists them for the segments that follow.
 */
static void
list_large(u64 a, u64 b)
{
	listing = b - a >= SEGMENT_LEN;
	if (listing) {
		large_count = 0;
		last_listed = LARGE_FROM - 1;
	}
	start_segment(a);
	list_primes(root, take_listed);
	if (listing)
		listed_to = root;
}

/*
 * A range of one block stops where its numbers are resolved.  What the
 * small primes leave of a number is 1, a prime or the product of two
 * large primes; it needs the large primes only up to its root, and none
 * once one of them has marked it.  open_at[] holds the numbers that may
 * still need some, with the roots of their cofactors; need is the
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
		if (big[open_at[k]] != 0)
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

/* After the large primes up to last are marked: whether a number needs more. */
static bool
unresolved(u32 last)
{
	if (need > last && big[need_at] != 0)
		find_need();
	return need > last;
}

/* Marks the large primes of a batch while the block's numbers need them. */
static bool
take_needed(const u32 *ps, int n)
{
	int i = first_large(ps, n), m = up_to(ps, i, n, need);

	if (i < m)
		mark_batch(ps + i, m - i);
	if (m < n)
		return false;
	return i == n || unresolved(ps[n - 1]);
}

enum { KEPT_BATCH = 1024 };

/* As take_needed(), from the dialogue's listing. */
static void
mark_kept(void)
{
	for (long i = 0; i < kept_count && kept[i] <= need;) {
		const u32 top = need; /* in a local: the stores to big[] might change need */
		int n = (int)min_u64(KEPT_BATCH, (u64)(kept_count - i));
		n = up_to(kept + i, 0, n, top);
		mark_batch(kept + i, n);
		i += n;
		if (!unresolved(kept[i - 1]))
			break;
	}
}

/*
 * The three walks below read the step into locals first: their stores to
 * the slots could otherwise change it, for all the compiler knows.
 */

/* Appends p to the factors of the slots at off, off + q, ... below len. */
static u64
sieve_first(const step *st, u64 off, u64 len)
{
	const u64 q = st->q, inv = st->inv;
	const u32 p = st->p + EXP_ONE;

	for (; off < len; off += q) {
		slot *s = &slots[off];
		s->cof *= inv;
		s->fac[s->count++] = p;
	}
	return off;
}

/* Counts p once more in the slots at off, off + q, ... below len. */
static u64
sieve_power(const step *st, u64 off, u64 len)
{
	const u64 q = st->q, inv = st->inv;

	for (; off < len; off += q) {
		slot *s = &slots[off];
		s->cof *= inv;
		s->fac[s->count - 1] += EXP_ONE;
	}
	return off;
}

/* As sieve_first() or sieve_power(), then divides out all further powers. */
static u64
sieve_last(const step *st, u64 off, u64 len)
{
	const u64 q = st->q, inv = st->inv, lim = st->lim;
	const u32 p = st->p + EXP_ONE;
	const bool first = st->first;

	for (; off < len; off += q) {
		slot *s = &slots[off];
		u64 c = s->cof * inv;
		if (first) {
			s->fac[s->count++] = p;
		} else {
			s->fac[s->count - 1] += EXP_ONE;
		}
		for (; c * inv <= lim; c *= inv)
			s->fac[s->count - 1] += EXP_ONE;
		s->cof = c;
	}
	return off;
}

/* Divides the powers of the small primes out of the block's numbers. */
static void
sieve_block(u64 base, u64 len)
{
	for (int k = 0; k < step_count; k++) {
		step *st = &steps[k];
		u64 off = st->next - base;

		if (off >= len)
			continue;
		if (st->last)
			off = sieve_last(st, off, len);
		else if (st->first)
			off = sieve_first(st, off, len);
		else
			off = sieve_power(st, off, len);
		st->next = base + off;
	}
}

/* Starts the numbers of the block from base on with their powers of 2 divided out. */
static void
fill_block(u64 base, u64 len)
{
	for (u64 i = 0; i < len; i++) {
		u64 n = base + i;
		int t = __builtin_ctzll(n);
		slots[i].cof = n >> t;
		slots[i].fac[0] = 2 + (u32)t * EXP_ONE;
		slots[i].count = t != 0;
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
			big[open_at[k]] = (u32)factors[0];
	}
}

/*
 * The kernel tries a number's candidates up to its bound at about a third
 * of what listing and marking the primes up to that bound cost, as
 * measured for windows near 10^13 and 10^14.
 */
enum { LISTING_COST = 3 };
static bool allow_kernel = true;

/* The block of a range of one block: factored, and ready for block_next(). */
static bool ready;

static void
factor_alone(u64 a, u64 b)
{
	const u64 len = b - a + 1;

	start_segment(a);
	fill_block(a, len);
	divide_small(a, (u32)len);
	open_count = 0;
	for (u64 i = 0; i < len; i++)
		if (slots[i].cof >= (u64)LARGE_FROM * LARGE_FROM) {
			open_at[open_count] = (u32)i;
			open_root[open_count++] = isqrt(slots[i].cof);
		}
	find_need();
	u64 roots = 0;
	for (int k = 0; k < open_count; k++)
		roots += open_root[k];
	if (need >= LARGE_FROM) {
		if (keep)
			mark_kept();
		else if (allow_kernel && roots < LISTING_COST * (u64)need)
			factor_open();
		else
			list_primes(need, take_needed);
	}
	ready = true;
}

void
block_keep(void)
{
	keep = true;
}

void
block_allow_kernel(bool allow)
{
	allow_kernel = allow;
}

void
block_begin(double start, double end)
{
	u64 a = (u64)start, b = (u64)end;

	root = isqrt(b);
	range_next = a;
	range_last = b;
	segment_base = a;
	segment_len = 0;
	ready = false;
	if (keep && root > kept_to && root >= LARGE_FROM)
		keep_listing(b);
	if (b - a < BLOCK_LEN) {
		factor_alone(a, b);
		return;
	}
	make_steps(root);
	start_steps(a);
	if (root >= LARGE_FROM && !keep && root > listed_to)
		list_large(a, b);
}

long
block_next(void)
{
	u64 base = range_next, len;

	if (base > range_last)
		return 0;
	len = min_u64(range_last - base + 1, BLOCK_LEN);
	if (!ready) {
		if (root >= LARGE_FROM && base >= segment_base + segment_len)
			mark_large(base);
		fill_block(base, len);
		sieve_block(base, len);
	}
	ready = false;
	block_base = base;
	range_next = base + len;
	return (long)len;
}

static void
append(u64 f, int e)
{
	factors[factor_count] = (double)(int64_t)f;
	exponents[factor_count++] = e;
}

typedef u32 v4su __attribute__((vector_size(16)));
typedef double v4df __attribute__((vector_size(32)));
typedef int v4si __attribute__((vector_size(16)));

/* Copies the first four entries of s into the table, as vectors. */
static inline void
four_slots(const slot *s)
{
	v4su f;

	memcpy(&f, s->fac, sizeof f);
	v4df fd = __builtin_convertvector((v4si)(f & 0xffff), v4df);
	v4si ei = (v4si)(f >> 16);
	memcpy(factors, &fd, sizeof fd);
	memcpy(exponents, &ei, sizeof ei);
}

/*
 * The cofactor left by the small primes is 1, a prime, or the product of
 * two primes of which big[] holds one if it is at most root.  The first
 * entries are copied whether used or not, and the cofactor is stored
 * before it is counted: this spares branches that could not be predicted.
 */
void
block_result(long i)
{
	const slot *s = &slots[i];
	u64 c = s->cof;
	u32 g = 0;

	four_slots(s);
	for (u32 k = 4; k < s->count; k++) {
		factors[k] = s->fac[k] & 0xffff;
		exponents[k] = (int)(s->fac[k] >> 16);
	}
	factor_count = (int)s->count;
	if (root >= LARGE_FROM && c > 1)
		g = big[block_base - segment_base + (u64)i];
	if (g == 0) {
		factors[factor_count] = (double)(int64_t)c;
		exponents[factor_count] = 1;
		factor_count += c > 1;
	} else if (c == g) {
		append(g, 1);
	} else if (c == (u64)g * g) {
		append(g, 2);
	} else {
		u64 r = c / g;
		append(r < g ? r : g, 1);
		append(r < g ? g : r, 1);
	}
	nn = 1;
}
