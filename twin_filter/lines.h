/*
 * The lines a scan has read and the twins among them.  vals holds their
 * values and ends the places of their newlines from the scan's start, each
 * with two places before the first: vals[-1] is the value of the line
 * before, ends[-2] and ends[-1] are the places of the newlines before its
 * start and its end.
 */
#ifndef QUARN_LINES_H
#define QUARN_LINES_H

#include <cstring>

#include "avx512.h"
#include "twins.h"

typedef uint64_t u64;

extern u64 vals_room[2 + SCAN_LINES + 16];
extern uint32_t ends_room[2 + SCAN_LINES + 16];
static u64 *const vals = vals_room + 2;
static uint32_t *const ends = ends_room + 2;

static const u64 ones = 0x0101010101010101;

/* Eight bytes, the first in the low byte, whatever the byte order. */
static inline u64
load_le(const char *p)
{
	u64 x;

	memcpy(&x, p, sizeof x);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
	x = __builtin_bswap64(x);
#endif
	return x;
}

/* The value of eight digit bytes, the first and most significant low. */
static inline u64
eight_digits(u64 x)
{
	x &= ones * 0x0f;
	x = (x * 10 + (x >> 8)) & 0x00ff00ff00ff00ff;
	x = (x * 100 + (x >> 16)) & 0x0000ffff0000ffff;
	return (x * 10000 + (x >> 32)) & 0xffffffff;
}

/* The value of the len digits at s, 7 to 15 of them. */
static inline u64
run_value(const char *s, size_t len)
{
	const u64 low = len >= 8 ? ~0ULL : ~0ULL << (64 - 8 * len);
	u64 a = load_le(s), b = load_le(s + len - 8);

	a = len > 8 ? eight_digits(a << (128 - 8 * len)) * 100000000 : 0;
	return a + eight_digits(b & low);
}

void scan_start(u64 before);
void scan_end(size_t n, size_t k, scan_result *r);
size_t stretch_twins_generic(size_t from, size_t n, uint32_t *twins, size_t k);
#ifdef QUARN_TWIN_AVX512
WIDE size_t stretch_twins_wide(size_t from, size_t n, uint32_t *twins, size_t k);
#endif

#endif
