/*
 * Runs of lines read fused, on the AVX-512 path: lines of one length whose
 * digits but the last seven are the same, the twins among them found as
 * they are read, and nothing else stored.
 */
#ifndef QUARN_FUSED_H
#define QUARN_FUSED_H

#ifdef QUARN_TWIN_AVX512
#include "lines.h"

/*
 * The state of a wide scan from p to end: the block at blk with the one
 * before it in before and its offset from p in each lane of off, the line
 * not read yet at start, from its bits of the block on, n lines read, of
 * which the twins of those from stretch on are not stored yet, k twins
 * stored.
 */
struct wide_scan {
	__m512i before, off;
	const char *p, *end, *blk, *start;
	u64 from;
	size_t n, stretch, k;
	uint32_t *twins;
};

/* Lays out the fused run of lines of len digits, 7 to 15, its prefix not set. */
void set_fuse(int len);
WIDE size_t fuse_run(wide_scan *s);
#endif

#endif
