/*
 * The order of a range sieve's output.  The job's units are handed out in
 * ascending order, and each unit's text is written in its turn, once the
 * unit before it is written, whichever thread sieved it.  The first failed
 * write stops the job.
 */
#ifndef QUARN_ORDER_H
#define QUARN_ORDER_H

#include <cstddef>

#include "arith.h"
#include "range.h"

/* Starts a job of `units` units whose text goes to out(). */
void order_begin(u64 units, range_write out);
/*
 * Whether threads share the job: set before any is started and cleared
 * once none runs.  Without them nothing is locked.
 */
void order_threaded(bool on);
/* Takes the next unit; false once all are taken or a write has failed. */
bool order_take(u64 *unit);
/* Writes text of the unit in its turn, waiting for it; false once a write has failed. */
bool order_write(u64 unit, const char *text, size_t len);
/* Ends the unit's turn: its text is all written. */
void order_pass(u64 unit);
/* Whether a write failed; *err is then the errno of the first that did. */
bool order_failed(int *err);

#endif
