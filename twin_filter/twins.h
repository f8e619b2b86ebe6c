/*
 * What a scan works in and what it tells: its sizes, a twin as it stores
 * one, and its result.
 */
#ifndef QUARN_TWINS_H
#define QUARN_TWINS_H

#include <cstddef>
#include <cstdint>

/* Bytes before a scan's start and after its end that it may read. */
enum { SCAN_PAD = 64 };
/* Most lines one scan reads. */
enum { SCAN_LINES = 4096 };
/* Most bytes from a scan's start to its end. */
enum { SCAN_BYTES = 1 << 20 };

/*
 * A twin, a line whose value is 2 more than the one before it, as a scan
 * stores it: the offset of its newline from the scan's start, its length,
 * and the length of the line before it, 0 where that line is before the
 * scan's start.
 */
inline size_t
twin_end(uint32_t twin)
{
	return twin & (SCAN_BYTES - 1);
}

inline size_t
twin_len(uint32_t twin)
{
	return twin >> 24 & 15;
}

inline size_t
twin_before(uint32_t twin)
{
	return twin >> 20 & 15;
}

/* What a scan read: lines, the bytes they take, twins, the last line's value. */
struct scan_result {
	size_t lines, bytes, twins;
	uint64_t last_value;
};

#endif
