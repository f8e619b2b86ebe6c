/* Factoring of consecutive integers below 10^14, a block at a time. */
#ifndef QUARN_BLOCK_H
#define QUARN_BLOCK_H

/* Starts the range start ... end of positive integers below 10^14. */
void block_begin(double start, double end);
/* Factors the next block of the range; returns its length, 0 past the end. */
long block_next(void);
/* Loads number i of the last block into the result table of factor.h. */
void block_result(long i);

#endif
