/* Plain reference versions of the fast paths, for differential tests. */
#ifndef QUARN_TEST_REFERENCE_H
#define QUARN_TEST_REFERENCE_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "block.h"
#include "factor.h"
#include "line.h"

/*
 * The wheel's candidates less their revolution's base, derived here rather
 * than copied from the kernel: the integers of 11 ... 211 prime to 210,
 * less 1.  A 49th would overrun the table and fail to compile.
 */
struct ref_wheel {
	double offsets[48];
	int count;
};

static constexpr ref_wheel
derive_wheel()
{
	ref_wheel w{};
	for (int n = 11; n <= 211; n++)
		if (n % 2 != 0 && n % 3 != 0 && n % 5 != 0 && n % 7 != 0)
			w.offsets[w.count++] = n - 1;
	return w;
}

static constexpr ref_wheel wheel_derived = derive_wheel();
static_assert(wheel_derived.count == 48, "48 integers of each 210 are prime to it");
static constexpr const double *ref_offsets = wheel_derived.offsets;

/* Bit k set where candidate k of the revolution at base divides n, by fmod. */
inline unsigned long long
fmod_hits(double n, double base)
{
	unsigned long long bits = 0;
	for (int k = 0; k < 48; k++)
		if (std::fmod(n, base + ref_offsets[k]) == 0)
			bits |= 1ULL << k;
	return bits;
}

/* The factorization line of x through plain formatted output. */
inline std::string
printf_line(double x)
{
	char buf[LINE_MAX_LEN];
	int len = snprintf(buf, sizeof buf, "%.0f = ", x);
	factor_number(x);
	for (int i = 0; i < factor_count; i++) {
		len += snprintf(
		    buf + len, sizeof buf - (size_t)len, "%s%.0f", i > 0 ? " * " : "", factors[i]);
		if (exponents[i] != 1)
			len += snprintf(buf + len, sizeof buf - (size_t)len, "^%d", exponents[i]);
	}
	return std::string(buf, (size_t)len) + "\n";
}

/* x through "%.0f". */
inline std::string
printf_value(double x)
{
	char buf[32];
	snprintf(buf, sizeof buf, "%.0f", x);
	return buf;
}

/* The lines of start ... end, number by number through format_line(). */
inline std::string
number_lines(std::uint64_t start, std::uint64_t end)
{
	char buf[LINE_MAX_LEN];
	std::string out;
	for (std::uint64_t x = start; x <= end; x++)
		out.append(buf, format_line(buf, (double)x));
	return out;
}

/* The lines of start ... end through the block routine, its large primes taken as `how` says. */
inline std::string
block_lines(std::uint64_t start, std::uint64_t end, int how = 0)
{
	char buf[LINE_MAX_LEN];
	std::string out;
	long len;
	block_begin((double)start, (double)end, how);
	count_from((double)start);
	while ((len = block_next()) > 0)
		for (long i = 0; i < len; i++) {
			const found_factors *f = block_result(i);
			out.append(
			    buf, put_result(put_count(buf), f->factors, f->exponents, f->count));
		}
	return out;
}

/*
 * The ends at which block_min() changes, ascending: each end E where
 * block_min(E) differs from block_min(E - 1), found by bisection between
 * ends sampled at 1, 2 and 5 times each power of 10 and at the top.
 * Returns how many, at most max.
 */
inline int
crossover_ends(std::uint64_t *ends, int max)
{
	const std::uint64_t top = 99999999999999;
	std::uint64_t from = 1;
	int n = 0;

	for (std::uint64_t ten = 1; from < top; ten *= 10)
		for (std::uint64_t m : {1, 2, 5}) {
			std::uint64_t sample = ten * m < top ? ten * m : top;
			while (n < max && block_min((double)from) != block_min((double)sample)) {
				std::uint64_t lo = from, hi = sample;
				long len = block_min((double)lo);
				while (hi - lo > 1) {
					std::uint64_t mid = lo + (hi - lo) / 2;
					if (block_min((double)mid) == len)
						lo = mid;
					else
						hi = mid;
				}
				ends[n++] = from = hi;
			}
			from = sample > from ? sample : from;
		}
	return n;
}

#endif
