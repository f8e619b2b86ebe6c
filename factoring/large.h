/*
 * Where the large primes come from, in ascending order, to be marked in
 * the segment of mark.h: listed for a range, kept as gaps for the
 * segments and ranges that follow, or read from a kept list.  The kept
 * list serves the dialogue: its answers of like size share one listing.
 */
#ifndef QUARN_LARGE_H
#define QUARN_LARGE_H

#include "arith.h"

/*
 * For a range a ... b of more than one block: starts its first segment
 * and lists the large primes up to root, marking them there as they come;
 * a range of more than one segment keeps them as gaps for the segments
 * that follow.  Where earlier gaps reach root, it only marks them.
 */
void large_list(u64 a, u64 b, u32 root);
/* Marks the large primes up to top in the segment, from the kept list or from the gaps. */
void large_mark(u32 top, bool kept);
/*
 * Starts reading the large primes up to top, from the kept list, from the
 * gaps where they reach top, otherwise listed anew.
 */
void large_begin(u32 top, bool kept);
/*
 * The next batch of them, ascending, at *ps, up to top, which may be lower
 * than at the last call; returns their count, 0 once there are none.
 */
int large_next(const u32 **ps, u32 top);
/*
 * Makes the kept list reach the square root of b, listing up to that of
 * the largest number with as many digits, so that ranges of like size
 * list once.
 */
void large_keep(u64 b);
/* Forgets the kept list. */
void large_drop(void);

#endif
