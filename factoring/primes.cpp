#include "primes.h"

#include <cstring>

typedef uint32_t u32;
typedef uint64_t u64;

/* Bit k of byte i stands for 30 i + wheel[k]. */
static constexpr u32 wheel[8] = {1, 7, 11, 13, 17, 19, 23, 29};

enum {
	/* Bytes sieved at a time: they stay in the L1 cache. */
	SIEVE_BYTES = 1 << 15,
	/* 7 * 11 * 13 * 17 and 19 * 23: the periods of the presieve patterns, in bytes. */
	PATTERN_BYTES = 17017,
	PATTERN2_PERIOD = 437,
	/* The second pattern repeated past a segment's length from any phase. */
	PATTERN2_BYTES = (SIEVE_BYTES / PATTERN2_PERIOD + 2) * PATTERN2_PERIOD,
	/* Primes from 29 up to the square root of 2^32. */
	MAX_SIEVING = 6600,
};

/* The numbers free of 7, 11, 13 and 17, a period of them; free of 19 and 23. */
static unsigned char pattern[PATTERN_BYTES];
static unsigned char pattern2[PATTERN2_BYTES];

/*
 * The multiples p m of a sieving prime, for m coprime to 30, m >= p, fall
 * in rounds of p bytes: m = 30 t + wheel[k] lies at byte p t + (p
 * wheel[k]) / 30 of round t.  Where in the round and which bit depend
 * only on p mod 30, given by its wheel index.
 */
struct wheel_step {
	unsigned char add[8];  /* ((p mod 30) wheel[k]) / 30 */
	unsigned char mask[8]; /* all bits but that of (p wheel[k]) mod 30 */
};

struct wheel_table {
	wheel_step steps[8];
};

static constexpr wheel_table
make_wheel_table()
{
	wheel_table t{};

	for (u32 r = 0; r < 8; r++)
		for (u32 k = 0; k < 8; k++) {
			u32 v = wheel[r] * wheel[k];
			u32 bit = 0;
			while (wheel[bit] != v % 30)
				bit++;
			t.steps[r].add[k] = (unsigned char)(v / 30);
			t.steps[r].mask[k] = (unsigned char)~(1 << bit);
		}
	return t;
}

static constexpr wheel_table wheel_steps = make_wheel_table();

/* A sieving prime and its next multiple: round byte `round`, index k. */
struct sieving {
	u32 p;
	u32 round;
	unsigned char r; /* wheel index of p mod 30 */
	unsigned char k;
};

static sieving sp[MAX_SIEVING];
static int nsp;

static int
wheel_index(u32 n)
{
	int k = 0;

	while (wheel[k] != n % 30)
		k++;
	return k;
}

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

/* The primes from 29 up to the square root of m, from p^2 on. */
static void
make_sieving(u32 m)
{
	nsp = 0;
	for (u32 p = 29; (u64)p * p <= m; p += 2) {
		if (!is_sieving_prime(p))
			continue;
		sieving *s = &sp[nsp++];
		s->p = p;
		s->r = (unsigned char)wheel_index(p);
		s->k = s->r; /* p^2 = p (30 t + wheel[k]) for t = p / 30 */
		s->round = p * (p / 30);
	}
}

/*
 * Clears the multiples in whole rounds from j on while they lie below
 * len; returns the first round not cleared.  Inlined for each wheel index
 * r, the masks are constants.
 */
static inline __attribute__((always_inline)) int64_t
cross_rounds(unsigned char *seg, int64_t j, u32 len, const u32 *at, u32 p, int r)
{
	const unsigned char *mask = wheel_steps.steps[r].mask;

	for (; j + at[7] < len; j += p) {
		seg[j + at[0]] &= mask[0];
		seg[j + at[1]] &= mask[1];
		seg[j + at[2]] &= mask[2];
		seg[j + at[3]] &= mask[3];
		seg[j + at[4]] &= mask[4];
		seg[j + at[5]] &= mask[5];
		seg[j + at[6]] &= mask[6];
		seg[j + at[7]] &= mask[7];
	}
	return j;
}

/* One case of the switch on the wheel index: the masks become constants. */
#define CROSS_ROUNDS(r)                                                                            \
	case r:                                                                                    \
		j = cross_rounds(seg, j, len, at, p, r);                                           \
		break

/* Clears the multiples of s in bytes lo ... lo + len of seg. */
static void
cross_off(unsigned char *seg, u32 lo, u32 len, sieving *s)
{
	const wheel_step *w = &wheel_steps.steps[s->r];
	const u32 p = s->p, q = p / 30;
	u32 at[8];
	int k = s->k;

	for (int i = 0; i < 8; i++)
		at[i] = q * wheel[i] + w->add[i];
	/* j is the round's first byte less lo; it may lie before the segment. */
	int64_t j = (int64_t)s->round - lo;
	for (;; k = 0, j += p) {
		if (k == 0) {
			switch (s->r) {
				CROSS_ROUNDS(0);
				CROSS_ROUNDS(1);
				CROSS_ROUNDS(2);
				CROSS_ROUNDS(3);
				CROSS_ROUNDS(4);
				CROSS_ROUNDS(5);
				CROSS_ROUNDS(6);
				CROSS_ROUNDS(7);
			}
		}
		for (; k < 8; k++) {
			if (j + at[k] >= len) {
				s->round = (u32)(j + lo);
				s->k = (unsigned char)k;
				return;
			}
			seg[j + at[k]] &= w->mask[k];
		}
	}
}

/* For each byte of the sieve, the offsets of its numbers from 30 times its index. */
struct byte_table {
	u32 off[256][8];
	unsigned char count[256];
};

static constexpr byte_table
make_byte_table()
{
	byte_table t{};

	for (u32 b = 0; b < 256; b++)
		for (u32 k = 0; k < 8; k++)
			if (b & 1 << k)
				t.off[b][t.count[b]++] = wheel[k];
	return t;
}

alignas(32) static constexpr byte_table byte_primes = make_byte_table();

typedef u32 v8su __attribute__((vector_size(32)));

static u32 batch[PRIME_BATCH + 8];
static int batch_len;

/*
 * Hands over the primes of seg, whose byte 0 is byte lo.  Each byte's
 * numbers are copied from the table whole, eight lanes at a time, and the
 * batch advances by their count: no branch on the bits.
 */
static void
take_segment(const unsigned char *seg, u32 lo, u32 len, void (*take)(const u32 *, int))
{
	int n = batch_len;

	for (u32 i = 0; i < len; i++) {
		v8su v;
		memcpy(&v, byte_primes.off[seg[i]], sizeof v);
		v += 30 * (lo + i);
		memcpy(batch + n, &v, sizeof v);
		n += byte_primes.count[seg[i]];
		if (n > PRIME_BATCH - 8) {
			take(batch, n);
			n = 0;
		}
	}
	batch_len = n;
}

/* Crosses off the multiples of p from p on. */
static void
cross_all(unsigned char *seg, u32 len, u32 p)
{
	sieving s = {p, 0, (unsigned char)wheel_index(p), 0};

	cross_off(seg, 0, len, &s);
}

static void
make_patterns(void)
{
	memset(pattern, 0xff, sizeof pattern);
	memset(pattern2, 0xff, sizeof pattern2);
	cross_all(pattern, PATTERN_BYTES, 7);
	cross_all(pattern, PATTERN_BYTES, 11);
	cross_all(pattern, PATTERN_BYTES, 13);
	cross_all(pattern, PATTERN_BYTES, 17);
	cross_all(pattern2, PATTERN2_BYTES, 19);
	cross_all(pattern2, PATTERN2_BYTES, 23);
}

/* Fills seg with the presieve pattern from byte lo on. */
static void
presieve(unsigned char *seg, u32 lo, u32 len)
{
	u32 phase = lo % PATTERN_BYTES;

	for (u32 done = 0; done < len;) {
		u32 n = PATTERN_BYTES - phase < len - done ? PATTERN_BYTES - phase : len - done;
		memcpy(seg + done, pattern + phase, n);
		done += n;
		phase = 0;
	}
	phase = lo % PATTERN2_PERIOD;
	for (u32 i = 0; i < len; i += 8) {
		u64 a, b;
		memcpy(&a, seg + i, 8);
		memcpy(&b, pattern2 + phase + i, 8);
		a &= b;
		memcpy(seg + i, &a, 8);
	}
}

void
list_primes(u32 m, void (*take)(const u32 *, int))
{
	static unsigned char seg[SIEVE_BYTES + 8];
	static const u32 below_seven[] = {2, 3, 5};
	const u32 top = m / 30 + 1; /* bytes up to that of m */

	if (pattern[0] == 0)
		make_patterns();
	batch_len = 0;
	for (u32 p : below_seven)
		if (p <= m)
			batch[batch_len++] = p;
	make_sieving(m);
	for (u32 lo = 0; lo < top; lo += SIEVE_BYTES) {
		u32 len = top - lo < (u32)SIEVE_BYTES ? top - lo : (u32)SIEVE_BYTES;
		presieve(seg, lo, len);
		if (lo == 0)
			seg[0] = (seg[0] & ~1u) | 0x7e; /* not 1; 7 ... 23 */
		for (int i = 0; i < nsp; i++)
			cross_off(seg, lo, len, &sp[i]);
		if (lo + len == top)
			for (int k = 0; k < 8; k++)
				if (30 * (top - 1) + wheel[k] > m)
					seg[top - 1 - lo] &= (unsigned char)~(1 << k);
		take_segment(seg, lo, len, take);
	}
	if (batch_len > 0)
		take(batch, batch_len);
}
