/*
 * The early stop: a range of one block, windows among them, factored
 * whole and stopped where its numbers are resolved, as the kernel would
 * stop.
 */
#ifndef QUARN_EARLY_H
#define QUARN_EARLY_H

#include "arith.h"

/*
 * Factors the numbers a ... b, fewer than BLOCK_LEN, whose largest square
 * root is root, into the slots of small.h and the marks of mark.h.  With
 * kept, the large primes come from the kept list; with list_only, they
 * are listed even where the kernel would cost less.
 */
void early_factor(u64 a, u64 b, u32 root, bool kept, bool list_only);

#endif
