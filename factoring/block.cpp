#include "block.h"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "factor.h"

typedef uint64_t u64;
typedef uint32_t u32;

enum {
	/*
	 * Primes from here on are large.  46416^3 > 10^14, so a number has at
	 * most two large prime factors, counted with multiplicity.
	 */
	LARGE_FROM = 46416,
	/* Odd primes below 10^7, the square root bound of every number. */
	MAX_ODD_PRIMES = 664578,
	/* Odd primes below LARGE_FROM and their powers below BLOCK_LEN. */
	MAX_STEPS = 4900,
	/* Distinct small prime factors of a number below 10^14. */
	SMALL_SLOTS = 12,
	SIEVE_LEN = 1 << 15,
	MAX_SIEVING = 512,
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

/* Halved gaps between the odd primes up to sieved_to, from 1 on. */
static unsigned char prime_gaps[MAX_ODD_PRIMES];
static long odd_primes;
static u32 sieved_to;

static step steps[MAX_STEPS];
static int step_count;

/* The large primes: from prime_gaps[large_index] on, after large_prev. */
static long large_index;
static u32 large_prev;
static u32 root; /* the largest integer whose square is at most the range's end */

static u64 range_next, range_last;

/* big[i] is a large prime dividing segment number i, or 0. */
static u32 big[SEGMENT_LEN];
static u64 segment_base, segment_len;

static slot slots[BLOCK_LEN];
static u64 block_base;

static u64
min_u64(u64 a, u64 b)
{
	return a < b ? a : b;
}

/*
 * The odd numbers free of 3, 5, 7, 11 and 13, a period of their product:
 * index j stands for 2j + 1, as in the sieve.
 */
enum { PRESIEVE_LEN = 3 * 5 * 7 * 11 * 13 };
static unsigned char presieved[PRESIEVE_LEN];

static void
make_presieve(void)
{
	for (u32 j = 0; j < PRESIEVE_LEN; j++) {
		u32 n = 2 * j + 1;
		presieved[j] = n % 3 != 0 && n % 5 != 0 && n % 7 != 0 && n % 11 != 0 && n % 13 != 0;
	}
}

/* Fills seg[0 ... len) with the presieve pattern from index lo on. */
static void
presieve(unsigned char *seg, u32 lo, u32 len)
{
	u32 phase = lo % PRESIEVE_LEN;

	for (u32 done = 0; done < len;) {
		u32 n = (u32)min_u64(PRESIEVE_LEN - phase, len - done);
		memcpy(seg + done, presieved + phase, n);
		done += n;
		phase = 0;
	}
}

/* Odd primes up to m into prime_gaps, by a segmented sieve of odd numbers. */
static void
sieve_primes(u32 m)
{
	static unsigned char seg[SIEVE_LEN + 8];
	static u32 sp[MAX_SIEVING], sp_next[MAX_SIEVING];
	int nsp = 0;
	u32 prev = 1, top = (m - 1) / 2;
	long count = 0;

	for (u32 p = 3; p * p <= m; p += 2) {
		int k = 0;
		while (k < nsp && sp[k] * sp[k] <= p && p % sp[k] != 0)
			k++;
		if (k == nsp || sp[k] * sp[k] > p) {
			sp[nsp] = p;
			sp_next[nsp++] = (p * p - 1) / 2;
		}
	}
	make_presieve();
	/* Index j of seg stands for the odd number 2 * (lo + j) + 1. */
	for (u32 lo = 0; lo <= top; lo += SIEVE_LEN) {
		u32 len = (u32)min_u64(top - lo + 1, SIEVE_LEN);
		presieve(seg, lo, len);
		memset(seg + len, 0, 8);
		if (lo == 0) {
			/* 1 is not a prime; 3 ... 13 are. */
			seg[0] = 0;
			for (u32 j = 1; j <= 6 && j < len; j++)
				seg[j] = j != 4;
		}
		for (int k = 0; k < nsp; k++) {
			if (sp[k] <= 13)
				continue;
			u32 j = sp_next[k] - lo;
			for (; j < len; j += sp[k])
				seg[j] = 0;
			sp_next[k] = lo + j;
		}
		/* Eight bytes at a time; each byte left is 1, its lowest bit set. */
		for (u32 j = 0; j < len; j += 8) {
			u64 w;
			memcpy(&w, seg + j, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
			w = __builtin_bswap64(w);
#endif
			for (; w != 0; w &= w - 1) {
				u32 n = 2 * (lo + j + (u32)__builtin_ctzll(w) / 8) + 1;
				prime_gaps[count++] = (unsigned char)((n - prev) / 2);
				prev = n;
			}
		}
	}
	odd_primes = count;
	sieved_to = m;
}

static u64
inverse(u64 p)
{
	u64 x = p; /* right to 3 bits; each step doubles them */

	for (int i = 0; i < 5; i++)
		x *= 2 - p * x;
	return x;
}

static u64
first_multiple(u64 a, u64 q)
{
	return (a + q - 1) / q * q;
}

/* Steps for the odd primes below LARGE_FROM up to root, from a on. */
static void
make_steps(u64 a)
{
	u32 p = 1;
	long i = 0;

	step_count = 0;
	for (; i < odd_primes; i++) {
		u32 next = p + 2 * prime_gaps[i];
		if (next > root || next >= LARGE_FROM)
			break;
		p = next;
		u64 inv = inverse(p), lim = UINT64_MAX / p;
		for (u64 q = p;; q *= p) {
			assert(step_count < MAX_STEPS);
			step *st = &steps[step_count++];
			st->next = first_multiple(a, q);
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
	large_index = i;
	large_prev = p;
}

void
block_begin(double start, double end)
{
	u64 b = (u64)end;

	root = (u32)sqrt(end);
	while ((u64)root * root > b)
		root--;
	while ((u64)(root + 1) * (root + 1) <= b)
		root++;
	if (root > sieved_to)
		sieve_primes(root);
	make_steps((u64)start);
	range_next = (u64)start;
	range_last = b;
	segment_base = range_next;
	segment_len = 0;
}

/*
 * a mod p, for a < 2^47 and 2^15 < p < 2^24, through a double quotient:
 * it is off by at most one, and the product and difference are exact.
 */
static inline u64
mod_large(u64 a, u32 p)
{
	int64_t q = (int64_t)((double)a / p);
	int64_t r = (int64_t)a - q * p;

	r += r < 0 ? p : 0;
	r -= r >= p ? p : 0;
	return (u64)r;
}

/* Marks the multiples of the large primes in the segment from a on. */
static void
mark_large(u64 a)
{
	u32 p = large_prev;

	segment_base = a;
	segment_len = min_u64(range_last - a + 1, SEGMENT_LEN);
	memset(big, 0, segment_len * sizeof big[0]);
	for (long i = large_index; i < odd_primes; i++) {
		p += 2 * prime_gaps[i];
		if (p > root)
			break;
		for (u64 off = p - 1 - mod_large(a - 1, p); off < segment_len; off += p)
			big[off] = p;
	}
}

/* Appends p to the factors of the slots at off, off + q, ... below len. */
static u64
sieve_first(const step *st, u64 off, u64 len)
{
	const u32 p = st->p + EXP_ONE;

	for (; off < len; off += st->q) {
		slot *s = &slots[off];
		s->cof *= st->inv;
		s->fac[s->count++] = p;
	}
	return off;
}

/* Counts p once more in the slots at off, off + q, ... below len. */
static u64
sieve_power(const step *st, u64 off, u64 len)
{
	for (; off < len; off += st->q) {
		slot *s = &slots[off];
		s->cof *= st->inv;
		s->fac[s->count - 1] += EXP_ONE;
	}
	return off;
}

/* As sieve_first() or sieve_power(), then divides out all further powers. */
static u64
sieve_last(const step *st, u64 off, u64 len)
{
	for (; off < len; off += st->q) {
		slot *s = &slots[off];
		u64 c = s->cof * st->inv;
		if (st->first) {
			s->fac[s->count++] = st->p + EXP_ONE;
		} else {
			s->fac[s->count - 1] += EXP_ONE;
		}
		for (; c * st->inv <= st->lim; c *= st->inv)
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

long
block_next(void)
{
	u64 base = range_next, len;

	if (base > range_last)
		return 0;
	len = min_u64(range_last - base + 1, BLOCK_LEN);
	if (root >= LARGE_FROM && base >= segment_base + segment_len)
		mark_large(base);
	for (u64 i = 0; i < len; i++) {
		u64 n = base + i;
		int t = __builtin_ctzll(n);
		slots[i].cof = n >> t;
		slots[i].fac[0] = 2 + (u32)t * EXP_ONE;
		slots[i].count = t != 0;
	}
	sieve_block(base, len);
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
