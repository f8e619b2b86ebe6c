/*
 * The pieces the sieves share: one bit per number coprime to 30, 30
 * numbers per byte, with the multiples of 7 ... 23 removed by copying
 * patterns and those of larger primes crossed off a round at a time.
 */
#ifndef QUARN_WHEEL_H
#define QUARN_WHEEL_H

#include "arith.h"

/* Bit k of byte i stands for 30 i + wheel[k]. */
static constexpr u32 wheel[8] = {1, 7, 11, 13, 17, 19, 23, 29};
/* The primes that divide 30, which have no bit: the sieves hand them over apart. */
static constexpr u32 below_seven[3] = {2, 3, 5};

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

enum {
	/* Bytes sieved at a time: they stay in the L1 cache. */
	SIEVE_BYTES = 1 << 15,
};

/* For each residue mod 30, the wheel index of it or of the next one coprime to 30. */
static constexpr unsigned char next_index[30] = {
    0, 0, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 4, 4, 4, 4, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7};

/*
 * The wheel index of n mod 30 where it is coprime to 30, otherwise that of
 * the next residue up that is.
 */
static constexpr inline int
wheel_index(u64 n)
{
	return next_index[n % 30];
}

/* The last number of byte b, or 2^64 - 1 where that is less. */
static constexpr inline u64
byte_last(u64 b)
{
	return b >= UINT64_MAX / 30 ? UINT64_MAX : 30 * b + 29;
}

/*
 * Fills seg with the numbers free of 7 ... 23 from byte lo on; byte 0
 * keeps the primes 7 ... 23 themselves and loses 1.
 */
void presieve(unsigned char *seg, u64 lo, u32 len);
/* Clears the bits of *byte, byte b of the sieve, for numbers outside lo ... hi, hi >= 30 b. */
void clip_byte(unsigned char *byte, u64 b, u64 lo, u64 hi);

/* The first prime that presieve_more() leaves to be crossed off. */
enum { MORE_FROM = 163 };

/*
 * Makes the patterns of presieve_more(), once: about 130 KB, worth it for
 * sieves of several segments.  Not safe to race with presieve_more().
 */
void make_more_patterns(void);
/*
 * Removes the multiples of the primes 29 ... 157 from presieved seg[0 ...
 * len), whose byte 0 is byte lo, keeping those primes themselves.
 */
void presieve_more(unsigned char *seg, u64 lo, u32 len);

/*
 * Clears the multiples of s in seg[0 ... len), whose byte 0 is byte lo of
 * the rounds, and leaves s at its first multiple past them.
 */
void cross_off(unsigned char *seg, u32 lo, u32 len, sieving *s);

/*
 * Writes first + 30 i + wheel[k] for each bit k set in byte i of seg[0
 * ... len), ascending; returns their count.  out must have room for 8 len
 * + 8 values.
 */
int read_off(const unsigned char *seg, u32 len, u32 first, u32 *out);

#endif
