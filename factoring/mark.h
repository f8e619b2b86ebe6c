/*
 * The marks of the large primes in a segment of the range: for each
 * number, a large prime that divides it, or 0.  A number has at most two
 * large prime factors, so one of them is enough to resolve it.
 */
#ifndef QUARN_MARK_H
#define QUARN_MARK_H

#include "arith.h"
#include "bounds.h"

/* marks[i] is a large prime dividing segment_base + i, for i < segment_len. */
extern u32 marks[SEGMENT_LEN];
extern u64 segment_base, segment_len;

/* Starts the segment of len <= SEGMENT_LEN numbers from a on, unmarked. */
void mark_segment(u64 a, u64 len);
/* Marks the multiples of the large primes ps[0 ... n) in the segment. */
void mark_batch(const u32 *ps, int n);
/* Marks number i of the segment with p, a large prime found to divide it. */
void mark_found(u64 i, u32 p);

#endif
