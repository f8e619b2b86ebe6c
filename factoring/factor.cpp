/*
 * The kernel: one number at a time by trial division, by 2, 3, 5 and 7 and
 * then by the wheel of 210, a revolution of 48 candidates screened at once
 * as quotients in vector doubles.
 */
#include "factor.h"

#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "arith.h"
#include "wide.h"

double factors[MAX_FACTORS];
int exponents[MAX_FACTORS];
int factor_count;
double nn;
double limit;
long trial_count;

/* Gaps between the integers coprime to 210, starting from 1. */
static constexpr double wheel_skips[48] = {10, 2, 4, 2, 4, 6, 2, 6, 4, 2, 4, 6, 6, 2, 6, 4, 2, 6, 4,
    6, 8, 4, 2, 4, 2, 4, 8, 6, 4, 6, 2, 4, 6, 2, 6, 6, 4, 2, 4, 6, 2, 6, 4, 2, 4, 2, 10, 2};

/* The candidates of a revolution less its base: running sums of the skips. */
alignas(64) static constexpr double wheel_offsets[48] = {10, 12, 16, 18, 22, 28, 30, 36, 40, 42, 46,
    52, 58, 60, 66, 70, 72, 78, 82, 88, 96, 100, 102, 106, 108, 112, 120, 126, 130, 136, 138, 142,
    148, 150, 156, 162, 166, 168, 172, 178, 180, 186, 190, 192, 196, 198, 208, 210};

static constexpr bool
offsets_match_skips()
{
	double sum = 0;
	for (int k = 0; k < 48; k++) {
		sum += wheel_skips[k];
		if (wheel_offsets[k] != sum)
			return false;
	}
	return sum == 210;
}
static_assert(offsets_match_skips(), "wheel_offsets must sum wheel_skips");

/*
 * Both divisibility tests below rest on one fact.  For nn < FACTOR_LIMIT
 * and d >= 2 the quotient nn / d, if not an integer, lies at least 1/d
 * from every integer, while its rounding error is at most nn * 2^-53 / d,
 * below 0.012 / d.  So the rounded quotient is an integer exactly when
 * d divides nn, and is then exact.
 */
static_assert(FACTOR_LIMIT * 0x1p-53 < 0.012, "quotients round to integers only when exact");
bool
divides(double n, double d)
{
	double q = n / d;

	return q == (double)(long long)q;
}

/*
 * Bit k set where candidate k of the revolution based at base divides n.
 * (q + 2^52) - 2^52 rounds q to the nearest integer for 0 <= q < 2^51,
 * but only where doubles are evaluated without excess precision.
 */
static inline __attribute__((always_inline)) unsigned long long
screen(double n, double base)
{
#if FLT_EVAL_METHOD != 0
	unsigned long long bits = 0;

	for (int k = 0; k < 48; k++)
		if (fmod(n, base + wheel_offsets[k]) == 0)
			bits |= 1ULL << k;
	return bits;
#else
	const double round_const = 4503599627370496.0;
	const v8di lane_bits = {1, 2, 4, 8, 16, 32, 64, 128};
	v8di bits = {};

	for (size_t j = 0; j < 6; j++) {
		v8df off, q;
		memcpy(&off, wheel_offsets + 8 * j, sizeof off);
		q = n / (base + off);
		bits |= ((q + round_const) - round_const == q) & (lane_bits << (8 * j));
	}
	return (unsigned long long)(bits[0] | bits[1] | bits[2] | bits[3] | bits[4] | bits[5] |
	    bits[6] | bits[7]);
#endif
}

static inline __attribute__((always_inline)) unsigned long long
wheel_hits_body(double n, double base)
{
	return screen(n, base);
}

WIDE_VARIANTS(, unsigned long long, wheel_hits, (double n, double base), (n, base))

/*
 * Screens the revolutions from base d on while limit >= d.  Returns the
 * base of the first revolution with a divisor of nn, its candidates in
 * *hits, or the base at which the bound stopped, with *hits 0.
 */
static inline __attribute__((always_inline)) double
scan_wheel_body(double d, unsigned long long *hits)
{
	const double n = nn, bound = limit;

	// NOLINTNEXTLINE(cert-flp30-c,clang-analyzer-security.FloatLoopCounter): exact below 2^53
	for (; bound >= d; d += 210)
		if ((*hits = screen(n, d)) != 0)
			return d;
	*hits = 0;
	return d;
}

WIDE_VARIANTS(static, double, scan_wheel, (double d, unsigned long long *hits), (d, hits))

static void
try_factor(double d)
{
	while (divides(nn, d)) {
		if (factor_count > 0 && factors[factor_count - 1] == d) {
			exponents[factor_count - 1]++;
		} else {
			factors[factor_count] = d;
			exponents[factor_count] = 1;
			factor_count++;
		}
		nn /= d;
		limit = sqrt(nn) + 1;
	}
}

/*
 * Trial division by 2, 3, 5, 7 and the wheel's candidates.  The bound is
 * tested only between revolutions; candidates that cannot divide are
 * passed over in bulk, since a divisor of nn now also divided it when its
 * revolution was screened.
 */
void
factor_number(double x)
{
	unsigned long long hits;
	double d = 1;

	nn = x;
	factor_count = 0;
	limit = sqrt(x) + 1;
	try_factor(2);
	try_factor(3);
	try_factor(5);
	try_factor(7);
	while ((d = scan_wheel(d, &hits)), hits != 0) {
		for (; hits != 0; hits &= hits - 1)
			try_factor(d + wheel_offsets[__builtin_ctzll(hits)]);
		d += 210;
	}
	trial_count = 4 + 48 * (long)((d - 1) / 210);
	if (nn > 1) {
		trial_count++;
		try_factor(nn);
	}
	assert(nn == 1.0);
}
