/*
 * The lines a scan has read and the twins among them.  The scan's entry
 * point owns two arrays and hands them down: vals holds the lines' values
 * and ends the places of their newlines from the scan's start, each with
 * two places before the first: vals[-1] is the value of the line before,
 * ends[-2] and ends[-1] are the places of the newlines before its start
 * and its end.  Each has room for SCAN_LINES + 16 lines after those.
 */
#ifndef QUARN_LINES_H
#define QUARN_LINES_H

#include <cstring>

#include "avx512.h"
#include "twins.h"

static const uint64_t ones = 0x0101010101010101;

/* Eight bytes, the first in the low byte, whatever the byte order. */
static inline uint64_t
load_le(const char *p)
{
	uint64_t x;

	memcpy(&x, p, sizeof x);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
	x = __builtin_bswap64(x);
#endif
	return x;
}

/* The value of eight digit bytes, the first and most significant low. */
static inline uint64_t
eight_digits(uint64_t x)
{
	x &= ones * 0x0f;
	x = (x * 10 + (x >> 8)) & 0x00ff00ff00ff00ff;
	x = (x * 100 + (x >> 16)) & 0x0000ffff0000ffff;
	return (x * 10000 + (x >> 32)) & 0xffffffff;
}

/* The value of the len digits at s, 7 to 15 of them. */
static inline uint64_t
run_value(const char *s, size_t len)
{
	const uint64_t low = len >= 8 ? ~0ULL : ~0ULL << (64 - 8 * len);
	uint64_t a = load_le(s), b = load_le(s + len - 8);

	a = len > 8 ? eight_digits(a << (128 - 8 * len)) * 100000000 : 0;
	return a + eight_digits(b & low);
}

void scan_start(uint64_t *vals, uint32_t *ends, uint64_t before);
void scan_end(const uint64_t *vals, const uint32_t *ends, size_t n, size_t k, scan_result *r);
size_t stretch_twins_generic(
    const uint64_t *vals, const uint32_t *ends, size_t from, size_t n, uint32_t *twins, size_t k);
#ifdef QUARN_TWIN_AVX512
TARGET_AVX512 size_t stretch_twins_avx512(
    const uint64_t *vals, const uint32_t *ends, size_t from, size_t n, uint32_t *twins, size_t k);
#endif

#endif
