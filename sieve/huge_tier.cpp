/*
 * The huge tier: each unit lists the tier's primes up to the root of its
 * last number and crosses off the one multiple each may have there.  The
 * multiples of a batch of primes are gathered without branches, their
 * bytes fetched, and crossed off after the next batch is gathered: each
 * lies anywhere in the unit, most often outside the caches.
 */
#include "huge_tier.h"

#include <cstring>
#include <pthread.h>

#include "multiples.h"
#include "order.h"
#include "wide.h"

/* Batches of the listing between looks at whether to stop: about a millisecond. */
enum { HUGE_LOOK = 64 };

static u32 huge_root;

/*
 * The team: the worker, member 0, and its helpers, each with its bits and
 * its work; the unit they share; a barrier that counts the members who
 * came to it, with the round it is in.
 */
static int team_size;
static unsigned char *team_bits[MAX_WORKERS];
static huge_work *team_work[MAX_WORKERS];
static bool (*team_stopped)(void);
static u64 team_b;
static u32 team_len;
static bool team_over;
static pthread_mutex_t team_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t team_cond = PTHREAD_COND_INITIALIZER;
static int arrived, team_round;

void
huge_begin(u32 root)
{
	huge_root = root;
	team_size = 0;
	team_over = false;
}

bool
huge_any(void)
{
	return huge_root >= HUGE_FROM;
}

/* Adds the multiple x past the unit's start, at byte at, to the batch, and fetches its byte. */
static inline int
gather(unsigned char *bits, u32 *at_of, unsigned char *mask_of, int c, u64 x, u64 at)
{
	at_of[c] = (u32)at;
	mask_of[c] = (unsigned char)~(1 << next_index[x - 30 * at]);
	__builtin_prefetch(bits + at, 1);
	return c + 1;
}

/*
 * Gathers the multiples of ps[0 ... n) in the unit, eight primes at a
 * time, into at_of[] and mask_of[], and returns their count.  Most primes
 * have none there, so a group of eight is passed over on one test; the
 * distances of a group with one are kept in far[] and gathered after the
 * batch, when their stores have long been done.
 */
static inline __attribute__((always_inline)) int
gather_batch(unsigned char *bits, u64 b, u32 len, const u32 *ps, int n, u32 below, v8di *far,
    u32 *at_of, unsigned char *mask_of)
{
	u32 tail[8];
	int c = 0, m = n, groups = 0;

	while (m > 0 && ps[m - 1] > below)
		m--;
	for (int i = 0; i < m; i += 8) {
		const u32 *g = ps + i;
		if (m - i < 8) {
			for (int lane = 0; lane < 8; lane++)
				tail[lane] = ps[i + lane < m ? i + lane : m - 1];
			g = tail;
		}
		v8di at, x;
		first_bytes_high(b, g, &at, &x);
		v8si in = __builtin_convertvector(at < (int64_t)len, v8si);
		u64 any[4];
		memcpy(any, &in, sizeof any);
		far[groups] = x;
		groups += (any[0] | any[1] | any[2] | any[3]) != 0;
	}
	for (int k = 0; k < groups; k++)
		for (int lane = 0; lane < 8; lane++) {
			const u64 x = (u64)far[k][lane];
			if (x / 30 < len)
				c = gather(bits, at_of, mask_of, c, x, x / 30);
		}
	/* Primes whose square lies in the unit: their multiples from p^2 on. */
	for (int i = m; i < n; i++) {
		const u32 p = ps[i];
		u64 round;
		const int k = first_round(p, 30 * b, &round);
		/* Exact modulo 2^64, where p m may pass it and the distance does not. */
		const u64 x = 30 * (round - b) + (u64)p * wheel[k];
		if (x / 30 < len)
			c = gather(bits, at_of, mask_of, c, x, x / 30);
	}
	return c;
}

static void
cross_gathered(unsigned char *bits, const u32 *at_of, const unsigned char *mask_of, int c)
{
	for (int i = 0; i < c; i++)
		bits[at_of[i]] &= mask_of[i];
}

/*
 * Crosses off slice i of n of the tier's primes whose square lies below
 * the unit's end.
 */
static inline __attribute__((always_inline)) bool
cross_slice_body(
    unsigned char *bits, u64 b, u32 len, huge_work *w, int i, int n, bool (*stopped)(void))
{
	const u32 top = (u32)min_u64(huge_root, isqrt(byte_last(b + len - 1)));
	const u32 below = isqrt(30 * b), span = top < HUGE_FROM ? 0 : top - HUGE_FROM + 1;
	const u32 first = HUGE_FROM + (u32)((u64)span * i / n),
		  last = HUGE_FROM - 1 + (u32)((u64)span * (i + 1) / n);
	const u32 *ps;
	int fill = 0, gathered[2] = {0, 0};

	if (first > last)
		return true;
	listing_begin(&w->list, first, last);
	for (long batches = 1, k; (k = listing_next(&w->list, &ps)) > 0; batches++) {
		gathered[fill] = gather_batch(
		    bits, b, len, ps, (int)k, below, w->far, w->at[fill], w->mask[fill]);
		fill ^= 1;
		cross_gathered(bits, w->at[fill], w->mask[fill], gathered[fill]);
		gathered[fill] = 0;
		if (batches % HUGE_LOOK == 0 && stopped())
			return false;
	}
	cross_gathered(bits, w->at[fill ^ 1], w->mask[fill ^ 1], gathered[fill ^ 1]);
	return true;
}

WIDE_VARIANTS(static, bool, cross_slice,
    (unsigned char *bits, u64 b, u32 len, huge_work *w, int i, int n, bool (*stopped)(void)),
    (bits, b, len, w, i, n, stopped))

/* Waits until every member of the team has come. */
static void
team_wait(void)
{
	pthread_mutex_lock(&team_lock);
	const int round = team_round;
	if (++arrived == team_size) {
		arrived = 0;
		team_round++;
		pthread_cond_broadcast(&team_cond);
	} else {
		while (round == team_round)
			pthread_cond_wait(&team_cond, &team_lock);
	}
	pthread_mutex_unlock(&team_lock);
}

void
huge_helper(int i, unsigned char *bits, huge_work *w, bool (*stopped)(void))
{
	team_bits[i] = bits;
	team_work[i] = w;
	w->slice = i;
	team_stopped = stopped;
}

/* Helpers that come to the barrier before the team's size is set wait for it. */
void
huge_team(int n)
{
	pthread_mutex_lock(&team_lock);
	team_size = n;
	pthread_mutex_unlock(&team_lock);
}

void *
huge_help(void *w)
{
	const int i = static_cast<huge_work *>(w)->slice;

	for (;;) {
		team_wait();
		if (team_over)
			return nullptr;
		memset(team_bits[i], 0xff, team_len);
		(void)cross_slice(
		    team_bits[i], team_b, team_len, team_work[i], i, team_size, team_stopped);
		team_wait();
	}
}

void
huge_start(u64 b, u32 len)
{
	team_b = b;
	team_len = len;
	if (team_size > 1)
		team_wait();
}

bool
cross_huge(unsigned char *bits, huge_work *w, bool (*stopped)(void))
{
	typedef unsigned char v64qu __attribute__((vector_size(64)));
	const int n = team_size > 1 ? team_size : 1;
	const bool ok = cross_slice(bits, team_b, team_len, w, 0, n, stopped);

	if (n == 1)
		return ok;
	team_wait();
	for (int i = 1; i < n; i++)
		for (u32 k = 0; k < team_len; k += 64) {
			v64qu a, h;
			memcpy(&a, bits + k, sizeof a);
			memcpy(&h, team_bits[i] + k, sizeof h);
			a &= h;
			memcpy(bits + k, &a, sizeof a);
		}
	return ok && !stopped();
}

void
huge_dismiss(void)
{
	if (team_size > 1) {
		team_over = true;
		team_wait();
	}
}
