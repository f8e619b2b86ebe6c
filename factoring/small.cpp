/*
 * Dividing the small primes out of a block: by walks, one for each power
 * of each small prime, kept from block to block in a long range; by the
 * first multiples of eight primes at a time in a range of one block.
 */
#include "small.h"

#include <cassert>

#include "odd_primes.h"
#include "wide.h"

enum {
	/* Odd primes below LARGE_FROM. */
	MAX_SMALL = 4800,
	/* Odd primes below LARGE_FROM and their powers below BLOCK_LEN. */
	MAX_WALKS = 4900,
};

slot slots[BLOCK_LEN];

/* The multiples of q = p^k, a power of a small odd prime p. */
struct walk {
	u64 next; /* the next multiple not yet reached */
	u64 q;
	u64 inv; /* p * inv = 1 modulo 2^64 */
	u64 lim; /* c * inv <= lim exactly when p divides c */
	u32 p;
	bool first; /* k = 1: p joins the factors */
	bool last;  /* p * q >= BLOCK_LEN: higher powers are divided out here */
};

/*
 * The odd primes below LARGE_FROM; the table goes on past them, so that
 * groups of eight may be read whole.
 */
static constexpr const u32 *small_primes = odd_primes.p;
static constexpr int small_count = odd_primes_below(LARGE_FROM);
static_assert(small_count <= MAX_SMALL, "MAX_SMALL holds the small primes");
static_assert((u32)LARGE_FROM <= (u32)ODD_PRIMES_BELOW, "the table holds the small primes");

/*
 * Walks made so far, for the small primes below small_primes[walks_for],
 * and how many of them the range takes.
 */
static walk walks[MAX_WALKS];
static int all_walks, walk_count;
static int walks_for;

static u64
inverse(u64 p)
{
	u64 x = p; /* right to 3 bits; each step doubles them */

	for (int i = 0; i < 5; i++)
		x *= 2 - p * x;
	return x;
}

/* Walks for the odd primes below LARGE_FROM up to top and their powers, made once. */
static void
make_walks(u32 top)
{
	for (; walks_for < small_count && small_primes[walks_for] <= top; walks_for++) {
		u32 p = small_primes[walks_for];
		u64 inv = inverse(p), lim = UINT64_MAX / p;
		for (u64 q = p;; q *= p) {
			assert(all_walks < MAX_WALKS);
			walk *w = &walks[all_walks++];
			w->q = q;
			w->inv = inv;
			w->lim = lim;
			w->p = p;
			w->first = q == p;
			w->last = q * p >= BLOCK_LEN;
			if (w->last)
				break;
		}
	}
}

void
small_begin(u64 a, u32 root)
{
	make_walks(root);
	walk_count = 0;
	while (walk_count < all_walks && walks[walk_count].p <= root) {
		walks[walk_count].next = ceil_div(a, walks[walk_count].q) * walks[walk_count].q;
		walk_count++;
	}
}

/*
 * The three loops below read the walk into locals first: their stores to
 * the slots could otherwise change it, for all the compiler knows.
 */

/* Appends p to the factors of the slots at off, off + q, ... below len. */
static u64
sieve_first(const walk *w, u64 off, u64 len)
{
	const u64 q = w->q, inv = w->inv;
	const u32 p = w->p + EXP_ONE;

	for (; off < len; off += q) {
		slot *s = &slots[off];
		s->cof *= inv;
		s->fac[s->count++] = p;
	}
	return off;
}

/* Counts p once more in the slots at off, off + q, ... below len. */
static u64
sieve_power(const walk *w, u64 off, u64 len)
{
	const u64 q = w->q, inv = w->inv;

	for (; off < len; off += q) {
		slot *s = &slots[off];
		s->cof *= inv;
		s->fac[s->count - 1] += EXP_ONE;
	}
	return off;
}

/* As sieve_first() or sieve_power(), then divides out all further powers. */
static u64
sieve_last(const walk *w, u64 off, u64 len)
{
	const u64 q = w->q, inv = w->inv, lim = w->lim;
	const u32 p = w->p + EXP_ONE;
	const bool first = w->first;

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

void
small_block(u64 base, u64 len)
{
	fill_block(base, len);
	for (int k = 0; k < walk_count; k++) {
		walk *w = &walks[k];
		u64 off = w->next - base;

		if (off >= len)
			continue;
		if (w->last)
			off = sieve_last(w, off, len);
		else if (w->first)
			off = sieve_first(w, off, len);
		else
			off = sieve_power(w, off, len);
		w->next = base + off;
	}
}

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
 * numbers from a on.  Their first multiples are found eight at a time;
 * most primes have none in a short range.
 */
static inline __attribute__((always_inline)) void
divide_small_body(u64 a, u32 len, u32 root)
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

WIDE_VARIANTS(static, void, divide_small, (u64 a, u32 len, u32 root), (a, len, root))

void
small_alone(u64 a, u32 len, u32 root)
{
	fill_block(a, len);
	divide_small(a, len, root);
}
