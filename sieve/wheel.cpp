/*
 * The sieves' bytes of 30 numbers: patterns that presieve them, crossing
 * off a sieving prime's multiples a round at a time, clipping a range's
 * ends, and reading the primes off.
 */
#include "wheel.h"

#include <cassert>
#include <cstring>

enum {
	/* 7 * 11 * 13 * 17 and 19 * 23: the periods of the presieve patterns, in bytes. */
	PATTERN_BYTES = 17017,
	PATTERN2_PERIOD = 437,
	/* Byte 0 after the presieve: 1 removed, the presieved primes 7 ... 23 restored. */
	FIRST_BYTE_PRIMES = 0x7e,
	/* The second pattern is applied eight periods at a time, from any phase. */
	PATTERN2_PIECE = 8 * PATTERN2_PERIOD,
	PATTERN2_BYTES = PATTERN2_PIECE + PATTERN2_PERIOD + 8,
};

template <u32 len> struct pattern_bytes {
	unsigned char b[len];
};

/*
 * The bits of the numbers from 0 on that no prime of ps divides: each
 * prime's multiples p m, m coprime to 30, crossed off, as few steps as a
 * compiler allows for constant expressions.
 */
template <u32 len, int n>
static constexpr pattern_bytes<len>
make_pattern(const u32 (&ps)[n])
{
	pattern_bytes<len> t{};

	for (u32 i = 0; i < len; i++)
		t.b[i] = 0xff;
	for (u32 p : ps)
		for (u32 m = 0; p * m < 30 * len; m += 30)
			for (u32 k = 0; k < 8 && p * (m + wheel[k]) < 30 * len; k++) {
				const u32 x = p * (m + wheel[k]);
				t.b[x / 30] &= wheel_steps.steps[wheel_index(p)].mask[k];
			}
	return t;
}

static constexpr u32 presieved[] = {7, 11, 13, 17}, presieved2[] = {19, 23};

/*
 * The numbers free of 7, 11, 13 and 17, a period of them; free of 19 and
 * 23.  Made at compile time, they cost no work at start-up.
 */
static constexpr pattern_bytes<PATTERN_BYTES> pattern_table =
    make_pattern<PATTERN_BYTES>(presieved);
static constexpr pattern_bytes<PATTERN2_BYTES> pattern2_table =
    make_pattern<PATTERN2_BYTES>(presieved2);
static constexpr const unsigned char *pattern = pattern_table.b, *pattern2 = pattern2_table.b;

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

void
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

/* Crosses off the multiples of p from p on. */
static void
cross_all(unsigned char *seg, u32 len, u32 p)
{
	sieving s = {p, 0, (unsigned char)wheel_index(p), 0};

	cross_off(seg, 0, len, &s);
}

/*
 * The primes presieve_more() removes, in pairs whose product is the
 * period of a pattern in bytes.  Crossing off one of them costs more than
 * ANDing its pattern into a segment; from 163 on, less.
 */
static constexpr u32 more_pairs[][2] = {{29, 31}, {37, 41}, {43, 47}, {53, 59}, {61, 67}, {71, 73},
    {79, 83}, {89, 97}, {101, 103}, {107, 109}, {113, 127}, {131, 137}, {139, 149}, {151, 157}};

enum {
	MORE_PATTERNS = sizeof more_pairs / sizeof more_pairs[0],
	/* The periods, 899 + 1517 + ... + 23707, 16 bytes of slack after each. */
	MORE_BYTES = 130806 + 16 * MORE_PATTERNS,
};

static_assert(more_pairs[MORE_PATTERNS - 1][1] < MORE_FROM, "MORE_FROM follows the pairs");

static unsigned char more_patterns[MORE_BYTES];
/* The bits of the primes 29 ... 157 in bytes 0 to 5, which their patterns clear. */
static unsigned char more_first[6];
static bool more_made;

void
make_more_patterns(void)
{
	unsigned char *pat = more_patterns;

	if (more_made)
		return;
	for (const auto &pq : more_pairs) {
		const u32 len = pq[0] * pq[1] + 16;
		assert(pat + len <= more_patterns + MORE_BYTES);
		memset(pat, 0xff, len);
		cross_all(pat, len, pq[0]);
		cross_all(pat, len, pq[1]);
		for (u32 p : pq)
			more_first[p / 30] |= (unsigned char)(1 << wheel_index(p));
		pat += len;
	}
	more_made = true;
}

typedef unsigned char v16qu __attribute__((vector_size(16)));

/* ANDs the pattern of the given period into seg[0 ... len), whose byte 0 is byte lo. */
static void
and_pattern(unsigned char *seg, u32 len, u64 lo, const unsigned char *pat, u32 period)
{
	for (u32 done = 0, phase = (u32)(lo % period); done < len; phase = 0) {
		const u32 n = period - phase < len - done ? period - phase : len - done;
		unsigned char *d = seg + done;
		const unsigned char *from = pat + phase;
		u32 i = 0;
		for (; i + 16 <= n; i += 16) {
			v16qu a, b;
			memcpy(&a, d + i, sizeof a);
			memcpy(&b, from + i, sizeof b);
			a &= b;
			memcpy(d + i, &a, sizeof a);
		}
		for (; i < n; i++)
			d[i] &= from[i];
		done += n;
	}
}

void
presieve_more(unsigned char *seg, u64 lo, u32 len)
{
	const unsigned char *pat = more_patterns;

	for (const auto &pq : more_pairs) {
		and_pattern(seg, len, lo, pat, pq[0] * pq[1]);
		pat += pq[0] * pq[1] + 16;
	}
	for (u64 i = lo; i < 6 && i < lo + len; i++)
		seg[i - lo] |= more_first[i];
}

/* ANDs the numbers free of 19 and 23 into len <= PATTERN2_PIECE bytes from byte lo on. */
static void
presieve2(unsigned char *seg, u64 lo, u32 len)
{
	const unsigned char *pat = pattern2 + lo % PATTERN2_PERIOD;

	for (u32 i = 0; i < len; i += 8) {
		u64 a, b;
		memcpy(&a, seg + i, 8);
		memcpy(&b, pat + i, 8);
		a &= b;
		memcpy(seg + i, &a, 8);
	}
}

void
presieve(unsigned char *seg, u64 lo, u32 len)
{
	for (u32 done = 0, phase = (u32)(lo % PATTERN_BYTES); done < len; phase = 0) {
		u32 n = PATTERN_BYTES - phase < len - done ? PATTERN_BYTES - phase : len - done;
		memcpy(seg + done, pattern + phase, n);
		done += n;
	}
	for (u32 done = 0; done < len; done += PATTERN2_PIECE)
		presieve2(seg + done, lo + done,
		    len - done < (u32)PATTERN2_PIECE ? len - done : (u32)PATTERN2_PIECE);
	if (lo == 0 && len > 0)
		seg[0] = (unsigned char)((seg[0] & ~1u) | FIRST_BYTE_PRIMES);
}

/* Compared as offsets from 30 b, which lo and hi do not lie below: 30 b + 29 may pass 2^64. */
void
clip_byte(unsigned char *byte, u64 b, u64 lo, u64 hi)
{
	const u64 base = 30 * b;

	for (int k = 0; k < 8; k++)
		if ((lo > base && wheel[k] < lo - base) || wheel[k] > hi - base)
			*byte &= (unsigned char)~(1 << k);
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

/*
 * Each byte's numbers are copied from the table whole, eight lanes at a
 * time, and the output advances by their count: no branch on the bits.
 */
int
read_off(const unsigned char *seg, u32 len, u32 first, u32 *out)
{
	int n = 0;

	for (u32 i = 0; i < len; i++) {
		v8su v;
		memcpy(&v, byte_primes.off[seg[i]], sizeof v);
		v += first + 30 * i;
		memcpy(out + n, &v, sizeof v);
		n += byte_primes.count[seg[i]];
	}
	return n;
}
