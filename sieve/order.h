/*
 * The order of a range sieve's output.  The job's units are handed out in
 * ascending order, and each unit's text is written in its turn, once the
 * unit before it is written, whichever worker sieved it.  A handover wakes
 * only the worker whose turn comes.
 *
 * Units are handed out no further ahead of the turn than the reach, which
 * starts at two units and grows by one whenever the output waits for a
 * unit that started late, up to the CPUs the workers are seen running on:
 * as many workers run as the output keeps busy, the others wait, and
 * where fewer CPUs run the workers than there are, the first units are
 * not starved by those that follow.
 *
 * The first failed write stops the job; workers look at order_stopped()
 * between the pieces of their units.
 */
#ifndef QUARN_ORDER_H
#define QUARN_ORDER_H

#include <cstddef>

#include "arith.h"
#include "range.h"

/* The most workers of a job. */
enum { MAX_WORKERS = 64 };

/* Starts a job of `units` units whose text goes to out(). */
void order_begin(u64 units, range_write out);
/*
 * Whether workers run on threads of their own: set before any is started
 * and cleared once none runs.  Without them nothing is locked.
 */
void order_threaded(bool on);
/*
 * Ends the turn of the unit the worker holds, if any, its text all
 * written, and hands it the next unit, waiting while that is out of
 * reach; false once all are handed out or the job stopped.
 */
bool order_next(int worker, u64 *unit);
/* Writes text of the worker's unit in its turn, waiting for it; false once the job stopped. */
bool order_write(int worker, u64 unit, const char *text, size_t len);
/* Whether a write failed: the job stops. */
bool order_stopped(void);
/* Whether a write failed; *err is then the errno of the first that did. */
bool order_failed(int *err);

#endif
