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

/* The wheel's candidates less their revolution's base. */
static const double ref_offsets[48] = {10, 12, 16, 18, 22, 28, 30, 36, 40, 42, 46, 52, 58, 60, 66,
    70, 72, 78, 82, 88, 96, 100, 102, 106, 108, 112, 120, 126, 130, 136, 138, 142, 148, 150, 156,
    162, 166, 168, 172, 178, 180, 186, 190, 192, 196, 198, 208, 210};

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

#endif
