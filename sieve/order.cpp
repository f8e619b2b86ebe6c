/*
 * The ordered output: a lock and a condition for the turns, taken only
 * where threads share the job.
 */
#include "order.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <sched.h>

enum {
	FIRST_REACH = 2,
	/* CPUs told apart by the number sched_getcpu() gives. */
	MAX_CPU = 1024,
	WORD = 64,
};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
/* Each worker waits on a condition of its own, for its turn or for a unit. */
static pthread_cond_t woken[MAX_WORKERS];
static bool conditions_made;
static bool threaded;
static range_write job_write;
static u64 job_units, next_unit, reach;
/* Read without the lock: the unit whose text is next, and whether a write failed. */
static u64 turn;
static bool failed;
static int failed_errno;
/* 1 + the unit each worker holds, 0 for none; the worker that holds unit u, at u % MAX_WORKERS. */
static u64 held[MAX_WORKERS];
static int holder[MAX_WORKERS];
/* Workers waiting for their turn; workers waiting for a unit, the last to wait on top. */
static bool waiting[MAX_WORKERS], parked[MAX_WORKERS];
static int idle[MAX_WORKERS], idle_count;
/*
 * When each worker took its unit, by the clock and by its own CPU time,
 * and the CPU time the unit took to be ready, its first text written.
 */
static int64_t taken_at[MAX_WORKERS], taken_cpu[MAX_WORKERS], ready_cpu[MAX_WORKERS];
static bool fresh[MAX_WORKERS];
/* The CPUs the workers have been seen on, and how many. */
static u64 seen[MAX_CPU / WORD];
static int seen_count;

void
order_begin(u64 units, range_write out)
{
	if (!conditions_made) {
		for (int i = 0; i < MAX_WORKERS; i++)
			pthread_cond_init(&woken[i], nullptr);
		conditions_made = true;
	}
	job_write = out;
	job_units = units;
	next_unit = turn = 0;
	reach = FIRST_REACH;
	seen_count = 0;
	memset(seen, 0, sizeof seen);
	failed = false;
	failed_errno = 0;
	threaded = false;
	idle_count = 0;
	for (int i = 0; i < MAX_WORKERS; i++) {
		held[i] = 0;
		waiting[i] = parked[i] = false;
	}
}

void
order_threaded(bool on)
{
	threaded = on;
}

static void
enter(void)
{
	if (threaded)
		pthread_mutex_lock(&lock);
}

static void
leave(void)
{
	if (threaded)
		pthread_mutex_unlock(&lock);
}

/* Wakes up to n of the workers waiting for a unit, the last to wait first. */
static void
unpark(u64 n)
{
	for (; n > 0 && idle_count > 0; n--) {
		const int w = idle[--idle_count];
		parked[w] = false;
		pthread_cond_signal(&woken[w]);
	}
}

static int64_t
clock_ns(clockid_t clock)
{
	timespec t{};

	(void)clock_gettime(clock, &t);
	return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

/* Notes the CPU the calling worker runs on. */
static void
see_cpu(void)
{
#ifdef QUARN_HAVE_SCHED_GETCPU
	const int c = sched_getcpu();

	if (c >= 0 && c < MAX_CPU && (seen[c / WORD] & 1ULL << c % WORD) == 0) {
		seen[c / WORD] |= 1ULL << c % WORD;
		seen_count++;
	}
#endif
}

/* Whether the reach may grow: no further than the CPUs the workers were seen on. */
static bool
may_grow(void)
{
	return reach < MAX_WORKERS && (seen_count == 0 || reach < (u64)seen_count);
}

/*
 * The worker passes the turn on from its unit at time now, waking the
 * worker whose unit is next if it waits.  If that unit is not ready, the
 * output waits for it.  Where it has run for less time than the worker's
 * unit took of CPU, it started too late, and the reach grows; where it
 * has run for longer, it waits for a CPU, and more workers would only
 * share them.  Not after the first unit, which is short so that the first
 * lines come soon, and says nothing of how many workers keep up.
 */
static void
pass(int worker, u64 unit, int64_t now)
{
	__atomic_store_n(&turn, unit + 1, __ATOMIC_RELEASE);
	if (!threaded || unit + 1 >= job_units || next_unit <= unit + 1)
		return;
	const int next = holder[(unit + 1) % MAX_WORKERS];
	if (waiting[next])
		pthread_cond_signal(&woken[next]);
	else if (unit > 0 && may_grow() && now - taken_at[next] < ready_cpu[worker])
		reach++;
}

bool
order_next(int worker, u64 *unit)
{
	int64_t now = threaded ? clock_ns(CLOCK_MONOTONIC) : 0;
	int64_t cpu = threaded ? clock_ns(CLOCK_THREAD_CPUTIME_ID) : 0;
	bool ok = false;

	enter();
	if (threaded)
		see_cpu();
	if (held[worker] > 0)
		pass(worker, held[worker] - 1, now);
	held[worker] = 0;
	for (;;) {
		if (failed || next_unit >= job_units) {
			unpark(MAX_WORKERS);
			break;
		}
		if (next_unit < turn + reach) {
			*unit = next_unit++;
			held[worker] = *unit + 1;
			holder[*unit % MAX_WORKERS] = worker;
			taken_at[worker] = now;
			taken_cpu[worker] = cpu;
			fresh[worker] = true;
			unpark(min_u64(turn + reach, job_units) - next_unit);
			ok = true;
			break;
		}
		parked[worker] = true;
		idle[idle_count++] = worker;
		while (parked[worker])
			pthread_cond_wait(&woken[worker], &lock);
		now = clock_ns(CLOCK_MONOTONIC);
		cpu = clock_ns(CLOCK_THREAD_CPUTIME_ID);
	}
	leave();
	return ok;
}

/* Waits until the unit's text is next; false once the job stopped. */
static bool
wait_turn(int worker, u64 unit)
{
	if (!threaded || __atomic_load_n(&turn, __ATOMIC_ACQUIRE) == unit)
		return !order_stopped();
	pthread_mutex_lock(&lock);
	waiting[worker] = true;
	while (turn != unit && !failed)
		pthread_cond_wait(&woken[worker], &lock);
	waiting[worker] = false;
	const bool ok = !failed;
	pthread_mutex_unlock(&lock);
	return ok;
}

/* Stops the job, waking every worker that waits. */
static void
fail(int err)
{
	enter();
	if (!failed) {
		__atomic_store_n(&failed, true, __ATOMIC_RELAXED);
		failed_errno = err;
	}
	if (threaded) {
		for (int i = 0; i < MAX_WORKERS; i++)
			pthread_cond_signal(&woken[i]);
		unpark(MAX_WORKERS);
	}
	leave();
}

bool
order_write(int worker, u64 unit, const char *text, size_t len)
{
	if (threaded && fresh[worker]) {
		ready_cpu[worker] = clock_ns(CLOCK_THREAD_CPUTIME_ID) - taken_cpu[worker];
		fresh[worker] = false;
	}
	if (!wait_turn(worker, unit))
		return false;
	if (len > 0 && !job_write(text, len)) {
		fail(errno);
		return false;
	}
	return true;
}

bool
order_stopped(void)
{
	return __atomic_load_n(&failed, __ATOMIC_RELAXED);
}

bool
order_failed(int *err)
{
	*err = failed_errno;
	return failed;
}
