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
 * The state of an AVX-512 scan from origin to end: the chunk at chunk with
 * the one before it in before and its offset from origin in each lane of
 * off, the line not read yet at start, from its bits of the chunk on, lines
 * read into vals and ends, of which the twins of those from stretch on are
 * not stored yet, stored twins stored in twins.
 */
struct chunk_state {
	__m512i before, off;
	const char *origin, *end, *chunk, *start;
	uint64_t from;
	size_t lines, stretch, stored;
	uint64_t *vals;
	uint32_t *ends, *twins;
};

/* Lays out the fused run of lines of len digits, 7 to 15, its prefix not set. */
void set_fuse(int len);
TARGET_AVX512 size_t fuse_run(chunk_state *s);
#endif

#endif
