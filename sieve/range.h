/* The primes of a range, by a segmented sieve on several threads. */
#ifndef QUARN_RANGE_H
#define QUARN_RANGE_H

#include <cstddef>
#include <cstdint>

/* The largest end of a range: 2^64 - 1. */
#define RANGE_MAX UINT64_MAX

/*
 * Writes the text of the primes base + offs[i], i < n, at out; returns its
 * end.  It may write scratch past the text, but no more than line_max
 * bytes a prime in all.  Threads call it at once, each with its own out.
 */
typedef char *(*range_put)(char *out, uint64_t base, const uint32_t *offs, int n);
/* Takes the next text, in order, one call at a time; false if it failed. */
typedef bool (*range_write)(const char *text, size_t len);

enum { RANGE_NO_MEMORY = 1, RANGE_WRITE_FAILED = 2 };

/*
 * Hands the primes p, start <= p <= stop <= RANGE_MAX, to put() in pieces
 * and the text to out(), in ascending order, sieved by up to `threads`
 * threads, the calling one among them; a thread that cannot be started is
 * done without.  Returns 0 once all is written; RANGE_NO_MEMORY, before
 * anything is written, where the memory for the job cannot be mapped;
 * RANGE_WRITE_FAILED once out() has failed.  errno then tells why.
 */
int range_primes(
    uint64_t start, uint64_t stop, int threads, range_put put, int line_max, range_write out);

/*
 * Whether the job of start ... stop may use several threads: where it is
 * cut into several units, or where its stop passes 2^54, as each unit
 * lists the huge tier's primes with a team.
 */
bool range_shares_work(uint64_t start, uint64_t stop);

#endif
