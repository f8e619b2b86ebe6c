/*
 * The ordered output: a lock and a condition for the turns, taken only
 * where threads share the job.
 */
#include "order.h"

#include <cerrno>
#include <pthread.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t turned = PTHREAD_COND_INITIALIZER;
static bool threaded;
static range_write job_write;
static u64 job_units, next_unit, turn;
static bool failed;
static int failed_errno;

void
order_begin(u64 units, range_write out)
{
	job_write = out;
	job_units = units;
	next_unit = turn = 0;
	failed = false;
	failed_errno = 0;
	threaded = false;
}

void
order_threaded(bool on)
{
	threaded = on;
}

static void
fail(int err)
{
	if (threaded)
		pthread_mutex_lock(&lock);
	if (!failed) {
		failed = true;
		failed_errno = err;
	}
	if (threaded) {
		pthread_cond_broadcast(&turned);
		pthread_mutex_unlock(&lock);
	}
}

/* Waits until the unit's text is next; false once a write has failed. */
static bool
wait_turn(u64 unit)
{
	bool ok;

	if (!threaded)
		return !failed;
	pthread_mutex_lock(&lock);
	while (turn != unit && !failed)
		pthread_cond_wait(&turned, &lock);
	ok = !failed;
	pthread_mutex_unlock(&lock);
	return ok;
}

bool
order_write(u64 unit, const char *text, size_t len)
{
	if (!wait_turn(unit))
		return false;
	if (len > 0 && !job_write(text, len)) {
		fail(errno);
		return false;
	}
	return true;
}

bool
order_take(u64 *unit)
{
	bool ok;

	if (threaded)
		pthread_mutex_lock(&lock);
	*unit = next_unit++;
	ok = *unit < job_units && !failed;
	if (threaded)
		pthread_mutex_unlock(&lock);
	return ok;
}

void
order_pass(u64 unit)
{
	if (!threaded)
		return;
	pthread_mutex_lock(&lock);
	turn = unit + 1;
	pthread_cond_broadcast(&turned);
	pthread_mutex_unlock(&lock);
}

bool
order_failed(int *err)
{
	*err = failed_errno;
	return failed;
}
