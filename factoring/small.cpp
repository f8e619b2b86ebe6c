/*
 * Dividing the small primes out of a block: by steps, one for each power
 * of each small prime, kept from block to block in a long range; by the
 * first multiples of eight primes at a time in a range of one block.
 */
#include "small.h"

#include <cassert>

#include "wide.h"

enum {
	/* Odd primes below LARGE_FROM. */
	MAX_SMALL = 4800,
	/* Odd primes below LARGE_FROM and their powers below BLOCK_LEN. */
	MAX_STEPS = 4900,
};

slot slots[BLOCK_LEN];

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

/* Steps made so far, for the small primes below small_primes[steps_for]; those taken for the range.
 */
static step steps[MAX_STEPS];
static int all_steps, step_count;
static int steps_for;

static u64
inverse(u64 p)
{
	u64 x = p; /* right to 3 bits; each step doubles them */

	for (int i = 0; i < 5; i++)
		x *= 2 - p * x;
	return x;
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

void
small_begin(u64 a, u32 root)
{
	make_steps(root);
	step_count = 0;
	while (step_count < all_steps && steps[step_count].p <= root) {
		steps[step_count].next = ceil_div(a, steps[step_count].q) * steps[step_count].q;
		step_count++;
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
