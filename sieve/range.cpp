/*
 * The range sieve.  The bytes of the range, 30 numbers each as in the
 * listing, are cut into units that threads take in ascending order.  A
 * unit is presieved, crossed off by the sieving primes, read off into its
 * thread's text and written in its turn, after the unit before it.  The
 * sieving primes cross off in three tiers, each where its multiples are
 * dense enough to repay a call:
 *
 * - from MORE_FROM (29 for short ranges) below MIDDLE_FROM, a sieve
 *   segment at a time, in the L1 cache;
 * - below LARGE_FROM, a part of the unit at a time, in the L2 cache;
 * - from LARGE_FROM on, the few multiples each has in the whole unit,
 *   their first found eight primes at a time and fetched ahead.
 *
 * Every prime's first multiple is found anew in each unit, so the units
 * do not depend on one another.
 */
#include "range.h"

#include <cassert>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <pthread.h>
#include <sys/mman.h>

#include "primes.h"
#include "wheel.h"
#include "wide.h"

enum {
	MIDDLE_FROM = 1 << 16,
	LARGE_FROM = 1 << 21,
	/* Primes from 29 below MIDDLE_FROM, and from there below LARGE_FROM. */
	MAX_SMALL = 6533,
	MAX_MIDDLE = 149069,
	/*
	 * The bytes of a unit: 126 million numbers where large primes take
	 * part, each of which costs a division a unit, otherwise at most 31
	 * million (unit_size()).  The first unit is short, so that the first
	 * lines come soon.
	 */
	UNIT_BYTES = 1 << 22,
	SHORT_UNIT_BYTES = 1 << 20,
	FIRST_UNIT_BYTES = 1 << 18,
	/* The middle tier crosses off this much of a unit at a time, in the L2 cache. */
	PART_BYTES = 1 << 20,
	/*
	 * A thread's text is written when the next batch might not fit: a
	 * unit's whole text where it may fit in OUT_BYTES, about 20 bytes a
	 * byte, otherwise pieces of OUT_PIECE.
	 */
	OUT_BYTES = 1 << 20,
	OUT_PIECE = 1 << 18,
	TEXT_PER_BYTE = 20,
	/* Rounds are counted from here, so that a round may start before its unit. */
	ROUND_BIAS = 1 << 24,
	/* Bytes read off at a time: at most PRIME_BATCH primes. */
	READ_BYTES = PRIME_BATCH / 8,
	MAX_THREADS = 64,
	/* Mapped areas are cut at cache lines. */
	LINE = 64,
};

/* The range, the text's functions, and the sieving primes, shared by the threads. */
static u64 range_start, range_stop, first_byte, byte_count, unit_count;
static u32 unit_bytes, first_unit_bytes;
static range_put job_put;
static range_write job_write;
static size_t line_max, out_bytes;
static bool more; /* presieve_more() removes 29 ... 157 */

static u32 small_p[MAX_SMALL];
static int small_count;
static u32 *middle_p;
static int middle_count;
/* Halved gaps between the large primes, from LARGE_FROM - 1 on. */
static unsigned char *large_gaps;
static long large_count;
static u32 last_large;
static size_t shared_size;

/* What each thread works with, in memory of its own. */
struct worker {
	unsigned char *bits;
	char *out;
	size_t olen;
	u32 *offs;
	sieving *small, *middle;
	size_t size;
	u64 unit;
	pthread_t thread;
};

static worker workers[MAX_THREADS];
static int worker_count;

/* Units are handed out, and their text written, in ascending order. */
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t turned = PTHREAD_COND_INITIALIZER;
static bool threaded;
static u64 next_unit, turn;
static bool failed;
static int failed_errno;

static u64
min_u64(u64 a, u64 b)
{
	return a < b ? a : b;
}

static size_t
lines(size_t n)
{
	return (n + LINE - 1) / LINE * LINE;
}

static void *
map(size_t n)
{
	void *p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);

	return p == MAP_FAILED ? nullptr : p;
}

static bool
take_sieving(const u32 *ps, int n)
{
	const u32 from = more ? MORE_FROM : 29;

	for (int i = 0; i < n; i++) {
		u32 p = ps[i];
		if (p < from)
			continue;
		if (p < MIDDLE_FROM) {
			small_p[small_count++] = p;
		} else if (p < LARGE_FROM) {
			middle_p[middle_count++] = p;
		} else {
			/* The largest gap below 94906265 is 220. */
			assert(p - last_large <= 2 * UCHAR_MAX);
			large_gaps[large_count++] = (unsigned char)((p - last_large) / 2);
			last_large = p;
		}
	}
	return true;
}

/* The wheel index and round of the first multiple p m >= n with m >= p coprime to 30. */
static int
first_multiple(u32 p, u64 n, u64 *round)
{
	u64 m = n / p + (n % p != 0);

	if (m < p)
		m = p;
	*round = p * (m / 30);
	return wheel_index(m);
}

/* Clears the multiples of p in bits[0 ... len) from round byte j, wheel index k, on. */
static inline void
cross_from(unsigned char *bits, u32 len, u32 p, int64_t j, int k)
{
	const wheel_step *w = &wheel_steps.steps[wheel_index(p)];
	const u32 q = p / 30;

	for (;;) {
		int64_t at = j + (int64_t)(q * wheel[k] + w->add[k]);
		if (at >= len)
			return;
		bits[at] &= w->mask[k];
		if (++k == 8) {
			k = 0;
			j += p;
		}
	}
}

typedef double v8df __attribute__((vector_size(64)));
typedef int64_t v8di __attribute__((vector_size(64)));
typedef int32_t v8si __attribute__((vector_size(32)));

/* Large primes taken at a time, and those of them with a multiple in the unit. */
enum { LARGE_GROUP = 64 };

struct hits {
	u32 p[LARGE_GROUP];
	int32_t j[LARGE_GROUP];
	int32_t k[LARGE_GROUP];
	int n;
};

/*
 * For eight large primes, each at most the square root of the unit's
 * start n = 30 b: the byte at[] of the first multiple in or past the unit,
 * the first byte j[] of its round and its wheel index k[].  The first
 * multiple p m >= n has m = ceil(n / p), from a double quotient off by at
 * most one; the next m coprime to 30 is 30 t + wheel[k], at byte p t +
 * (p / 30) wheel[k] + ((p mod 30) wheel[k]) / 30.  Each value is an
 * integer below 2^53, exact in a double.
 */
static inline __attribute__((always_inline)) void
find_eight(u64 b, const u32 *ps, int32_t *at, int32_t *j, int32_t *k)
{
	const int64_t n = (int64_t)(30 * b);
	const double third = 1.0 / 30;
	v8si pi;

	memcpy(&pi, ps, sizeof pi);
	v8df p = __builtin_convertvector(pi, v8df);
	v8di pl = __builtin_convertvector(pi, v8di);
	v8di q = __builtin_convertvector((double)n / p, v8di);
	v8di r = n - q * pl;
	q = r < 0 ? q - 1 : q;
	r = r < 0 ? r + pl : r;
	q = r >= pl ? q + 1 : q;
	r = r >= pl ? r - pl : r;
	v8df m = __builtin_convertvector(q - (r != 0), v8df);
	v8df t = __builtin_convertvector(__builtin_convertvector(m * third, v8di), v8df);
	v8df res = m - 30 * t;
	t = res < 0 ? t - 1 : t;
	res = res < 0 ? res + 30 : res;
	t = res >= 30 ? t + 1 : t;
	res = res >= 30 ? res - 30 : res;
	v8df q30 = __builtin_convertvector(__builtin_convertvector(p * third, v8di), v8df);
	v8df pr = p - 30 * q30;
	/* k counts the wheel's residues below res; wheel[k] adds up their gaps. */
	v8di c[7];
	for (int i = 0; i < 7; i++)
		c[i] = res > (double)wheel[i];
	v8si ki = -__builtin_convertvector(c[0] + c[1] + c[2] + c[3] + c[4] + c[5] + c[6], v8si);
	v8df wk = __builtin_convertvector(1 + (c[0] & 6) + (c[1] & 4) + (c[2] & 2) + (c[3] & 4) +
		(c[4] & 2) + (c[5] & 4) + (c[6] & 6),
	    v8df);
	v8df add = __builtin_convertvector(__builtin_convertvector(pr * wk * third, v8di), v8df);
	v8df jd = p * t - (double)b;
	v8si ai = __builtin_convertvector(jd + q30 * wk + add, v8si);
	v8si ji = __builtin_convertvector(jd, v8si);

	memcpy(at, &ai, sizeof ai);
	memcpy(j, &ji, sizeof ji);
	memcpy(k, &ki, sizeof ki);
}

/* The number of the primes of ps[0 ... count), ascending, whose square is at most n. */
static int
squares_to(const u32 *ps, int count, u64 n)
{
	int lo = 0, hi = count;

	while (lo < hi) {
		int mid = lo + (hi - lo) / 2;
		if ((u64)ps[mid] * ps[mid] <= n)
			lo = mid + 1;
		else
			hi = mid;
	}
	return lo;
}

/*
 * Starts the primes of ps whose square lies below the end of the len
 * bytes from byte b on at their first multiples there, eight at a time
 * those whose square lies at or below the start; returns how many.
 */
static inline __attribute__((always_inline)) int
start_tier_body(sieving *s, const u32 *ps, int count, u64 b, u32 len)
{
	const int before = squares_to(ps, count, 30 * b),
		  n = squares_to(ps, count, 30 * (b + len) - 1);
	int32_t at[8], j[8], k[8];
	int i = 0;

	for (; i + 8 <= before; i += 8) {
		find_eight(b, ps + i, at, j, k);
		for (int lane = 0; lane < 8; lane++) {
			s[i + lane].p = ps[i + lane];
			s[i + lane].r = (unsigned char)wheel_index(ps[i + lane]);
			s[i + lane].k = (unsigned char)k[lane];
			s[i + lane].round = (u32)(j[lane] + ROUND_BIAS);
		}
	}
	for (; i < n; i++) {
		u64 round;
		s[i].p = ps[i];
		s[i].r = (unsigned char)wheel_index(ps[i]);
		s[i].k = (unsigned char)first_multiple(ps[i], 30 * b, &round);
		s[i].round = (u32)(round - b + ROUND_BIAS);
	}
	return n;
}

WIDE_VARIANTS(static, int, start_tier, (sieving * s, const u32 *ps, int count, u64 b, u32 len),
    (s, ps, count, b, len))

/*
 * Adds the primes of ps[0 ... LARGE_GROUP) with a multiple in the unit of
 * len bytes to h, with no branch on the primes, and fetches the byte of
 * each first multiple ahead of its store.
 */
static inline __attribute__((always_inline)) void
find_group(const unsigned char *bits, u64 b, u32 len, const u32 *ps, hits *h)
{
	int32_t at[LARGE_GROUP], j[LARGE_GROUP], k[LARGE_GROUP];
	int c = h->n;

	for (int i = 0; i < LARGE_GROUP; i += 8)
		find_eight(b, ps + i, at + i, j + i, k + i);
	for (int i = 0; i < LARGE_GROUP; i++) {
		const bool hit = (u32)at[i] < len;
		__builtin_prefetch(bits + (hit ? at[i] : 0), 1);
		h->p[c] = ps[i];
		h->j[c] = j[i];
		h->k[c] = k[i];
		c += hit;
	}
	h->n = c;
}

/* Walks the primes of h, each from its first multiple in the unit. */
static void
walk_hits(unsigned char *bits, u32 len, hits *h)
{
	for (int i = 0; i < h->n; i++)
		cross_from(bits, len, h->p[i], h->j[i], h->k[i]);
	h->n = 0;
}

/*
 * Crosses off the multiples of the large primes in the unit of len bytes
 * from byte b on: a group at a time those whose square lies at or below
 * the unit's start, then one at a time those whose square lies in it.
 * The hits of a group are walked while the next group's bytes arrive.
 */
static inline __attribute__((always_inline)) void
cross_large_body(unsigned char *bits, u64 b, u32 len)
{
	const u64 start = 30 * b, end = 30 * (b + len);
	const long count = large_count;
	u32 group[LARGE_GROUP], p = LARGE_FROM - 1;
	hits h[2];
	int g = 0, fill = 0;
	long i = 0;

	h[0].n = h[1].n = 0;
	for (; i < count; i++) {
		u32 next = p + 2 * large_gaps[i];
		if ((u64)next * next > start)
			break;
		group[g++] = p = next;
		if (g < LARGE_GROUP)
			continue;
		g = 0;
		find_group(bits, b, len, group, &h[fill]);
		fill ^= 1;
		walk_hits(bits, len, &h[fill]);
	}
	if (g > 0) {
		/* The last prime again: crossing its multiples twice changes nothing. */
		for (int k = g; k < LARGE_GROUP; k++)
			group[k] = p;
		find_group(bits, b, len, group, &h[fill]);
	}
	walk_hits(bits, len, &h[fill ^ 1]);
	walk_hits(bits, len, &h[fill]);
	for (; i < count; i++) {
		p += 2 * large_gaps[i];
		if ((u64)p * p >= end)
			break;
		u64 round;
		int k = first_multiple(p, start, &round);
		cross_from(bits, len, p, (int64_t)(round - b), k);
	}
}

WIDE_VARIANTS(static, void, cross_large, (unsigned char *bits, u64 b, u32 len), (bits, b, len))

static u32
isqrt(u64 n)
{
	u64 r = (u64)sqrt((double)n);

	while (r * r > n)
		r--;
	while ((r + 1) * (r + 1) <= n)
		r++;
	return (u32)r;
}

/* Clears the bits of byte b at bit for numbers outside the range. */
static void
clip(unsigned char *bit, u64 b)
{
	for (int k = 0; k < 8; k++)
		if (30 * b + wheel[k] < range_start || 30 * b + wheel[k] > range_stop)
			*bit &= (unsigned char)~(1 << k);
}

/* Sieves the unit of len bytes from byte b on into the worker's bits. */
static void
sieve_unit(worker *w, u64 b, u32 len)
{
	unsigned char *bits = w->bits;

	presieve(bits, b, len);
	if (b == 0)
		bits[0] = (bits[0] & ~1u) | FIRST_BYTE_PRIMES;
	if (large_count > 0)
		cross_large(bits, b, len);
	const int middle = start_tier(w->middle, middle_p, middle_count, b, len);
	const int small = start_tier(w->small, small_p, small_count, b, len);
	for (u32 part = 0; part < len; part += PART_BYTES) {
		const u32 n = (u32)min_u64(len - part, PART_BYTES);
		for (int k = 0; k < middle; k++)
			cross_off(bits + part, ROUND_BIAS + part, n, &w->middle[k]);
		for (u32 i = part; i < part + n; i += SIEVE_BYTES) {
			const u32 m = (u32)min_u64(part + n - i, SIEVE_BYTES);
			if (more)
				presieve_more(bits + i, b + i, m);
			for (int k = 0; k < small; k++)
				cross_off(bits + i, ROUND_BIAS + i, m, &w->small[k]);
		}
	}
	if (b == first_byte)
		clip(bits, b);
	if (b + len == first_byte + byte_count)
		clip(bits + len - 1, b + len - 1);
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

/* Waits until the text of the worker's unit is next; false once a write has failed. */
static bool
wait_turn(const worker *w)
{
	bool ok;

	if (!threaded)
		return !failed;
	pthread_mutex_lock(&lock);
	while (turn != w->unit && !failed)
		pthread_cond_wait(&turned, &lock);
	ok = !failed;
	pthread_mutex_unlock(&lock);
	return ok;
}

/* Writes the worker's text in its turn. */
static bool
write_out(worker *w)
{
	if (!wait_turn(w))
		return false;
	if (w->olen > 0 && !job_write(w->out, w->olen)) {
		fail(errno);
		return false;
	}
	w->olen = 0;
	return true;
}

/* Puts the text of n primes base + offs[i], writing what is there first if they might not fit. */
static bool
put_text(worker *w, u64 base, const u32 *offs, int n)
{
	if (out_bytes - w->olen < (size_t)n * line_max + LINE && !write_out(w))
		return false;
	w->olen = (size_t)(job_put(w->out + w->olen, base, offs, n) - w->out);
	return true;
}

/* Reads the unit's primes off and writes their text in its turn. */
static bool
emit_unit(worker *w, u64 b, u32 len)
{
	if (b == 0) {
		static const u32 below_seven[] = {2, 3, 5};
		u32 small[3];
		int n = 0;
		for (u32 p : below_seven)
			if (range_start <= p && p <= range_stop)
				small[n++] = p;
		if (n > 0 && !put_text(w, 0, small, n))
			return false;
	}
	for (u32 i = 0; i < len; i += READ_BYTES) {
		int n = read_off(w->bits + i, (u32)min_u64(len - i, READ_BYTES), 30 * i, w->offs);
		if (n > 0 && !put_text(w, 30 * b, w->offs, n))
			return false;
	}
	return write_out(w);
}

static bool
take_unit(u64 *unit)
{
	bool ok;

	if (threaded)
		pthread_mutex_lock(&lock);
	*unit = next_unit++;
	ok = *unit < unit_count && !failed;
	if (threaded)
		pthread_mutex_unlock(&lock);
	return ok;
}

static void
pass_turn(u64 unit)
{
	if (!threaded)
		return;
	pthread_mutex_lock(&lock);
	turn = unit + 1;
	pthread_cond_broadcast(&turned);
	pthread_mutex_unlock(&lock);
}

static void *
work(void *arg)
{
	worker *w = static_cast<worker *>(arg);

	while (take_unit(&w->unit)) {
		const u64 b =
		    first_byte + (w->unit == 0 ? 0 : first_unit_bytes + (w->unit - 1) * unit_bytes);
		const u32 len = (u32)min_u64(
		    w->unit == 0 ? first_unit_bytes : unit_bytes, first_byte + byte_count - b);
		sieve_unit(w, b, len);
		if (!emit_unit(w, b, len))
			break;
		pass_turn(w->unit);
	}
	return nullptr;
}

/*
 * With large primes, UNIT_BYTES.  Otherwise as short as the sieving
 * primes allow, a power of two from 2^15 to SHORT_UNIT_BYTES and at least
 * eight bytes a prime: each prime costs a division a unit, and a short
 * unit's text fits its thread's buffer, so that threads write their units
 * one after another without waiting.
 */
static u32
unit_size(void)
{
	u32 n = 1 << 15;

	if (large_count > 0)
		return UNIT_BYTES;
	while (n < SHORT_UNIT_BYTES && n < 8 * (u64)(small_count + middle_count))
		n *= 2;
	return n;
}

/* An upper bound on the number of primes up to x >= 2: 1.25506 x / ln x. */
static size_t
primes_below(double x)
{
	return (size_t)(1.25506 * x / log(x)) + 1;
}

/*
 * Maps the sieving primes' lists, each as large as the square root of
 * stop may need, and lists them.
 */
static bool
list_sieving(u64 stop)
{
	const u32 root = isqrt(stop);
	const size_t middle = root < MIDDLE_FROM ? 0 : min_u64(MAX_MIDDLE, primes_below(root));
	const size_t large = root < LARGE_FROM ? 0 : primes_below(root);
	const size_t size = lines(middle * sizeof(u32) + large);
	unsigned char *area = nullptr;

	if (size > 0 && (area = static_cast<unsigned char *>(map(size))) == nullptr)
		return false;
	shared_size = size;
	middle_p = reinterpret_cast<u32 *>(area);
	large_gaps = area + middle * sizeof(u32);
	small_count = middle_count = 0;
	large_count = 0;
	last_large = LARGE_FROM - 1;
	list_primes(root, take_sieving);
	return true;
}

/* Maps a worker's memory: its unit, its text, its offsets and its primes' places. */
static bool
map_worker(worker *w)
{
	const size_t bits = lines(unit_bytes + 8), out = lines(out_bytes);
	const size_t offs = lines((PRIME_BATCH + 8) * sizeof(u32));
	const size_t small = lines(small_count * sizeof(sieving));
	const size_t size = bits + out + offs + small + lines(middle_count * sizeof(sieving));
	unsigned char *area = static_cast<unsigned char *>(map(size));

	if (area == nullptr)
		return false;
	w->size = size;
	w->bits = area;
	w->out = reinterpret_cast<char *>(area + bits);
	w->offs = reinterpret_cast<u32 *>(area + bits + out);
	w->small = reinterpret_cast<sieving *>(area + bits + out + offs);
	w->middle = reinterpret_cast<sieving *>(area + bits + out + offs + small);
	w->olen = 0;
	return true;
}

/* Unmaps the workers from the first on, and then the sieving primes. */
static void
unmap_from(int first)
{
	for (int i = first; i < worker_count; i++)
		(void)munmap(workers[i].bits, workers[i].size);
	worker_count = first;
	if (first == 0 && shared_size > 0)
		(void)munmap(middle_p, shared_size);
	if (first == 0)
		shared_size = 0;
}

/* Threads with small stacks of their own size; those that start, run. */
static void
start_threads(void)
{
	pthread_attr_t attr;
	int started = 1;

	if (worker_count > 1 && pthread_attr_init(&attr) == 0) {
		threaded = true;
		(void)pthread_attr_setstacksize(&attr, PTHREAD_STACK_MIN + (1 << 16));
		for (int i = 1; i < worker_count; i++)
			if (pthread_create(
				&workers[started].thread, &attr, work, &workers[started]) == 0)
				started++;
		(void)pthread_attr_destroy(&attr);
	}
	if (started == 1)
		threaded = false; /* no thread runs to read it */
	unmap_from(started);
}

int
range_primes(u64 start, u64 stop, int threads, range_put put, int line, range_write out)
{
	assert(stop <= RANGE_MAX && line > 0);
	if (start > stop)
		return 0;
	range_start = start;
	range_stop = stop;
	job_put = put;
	job_write = out;
	line_max = (size_t)line;
	first_byte = start / 30;
	byte_count = stop / 30 - first_byte + 1;
	more = byte_count > 2 * (u64)SIEVE_BYTES;
	if (more)
		make_more_patterns();
	if (!list_sieving(stop)) {
		errno = ENOMEM;
		return RANGE_NO_MEMORY;
	}
	unit_bytes = (u32)min_u64(unit_size(), byte_count);
	first_unit_bytes = (u32)min_u64(FIRST_UNIT_BYTES, unit_bytes);
	unit_count = 1 + (byte_count - first_unit_bytes + unit_bytes - 1) / unit_bytes;
	out_bytes = (size_t)min_u64((u64)unit_bytes * 8 + 3, PRIME_BATCH) * line_max + LINE;
	if ((u64)unit_bytes * TEXT_PER_BYTE <= OUT_BYTES)
		out_bytes += (size_t)unit_bytes * TEXT_PER_BYTE;
	else
		out_bytes += OUT_PIECE;
	/* The workers whose memory can be mapped, at least one. */
	const int wanted =
	    (int)min_u64(min_u64(threads < 1 ? 1 : threads, MAX_THREADS), unit_count);
	worker_count = 0;
	while (worker_count < wanted && map_worker(&workers[worker_count]))
		worker_count++;
	if (worker_count == 0) {
		unmap_from(0);
		errno = ENOMEM;
		return RANGE_NO_MEMORY;
	}
	next_unit = turn = 0;
	failed = false;
	start_threads();
	work(&workers[0]);
	for (int i = 1; i < worker_count; i++)
		(void)pthread_join(workers[i].thread, nullptr);
	threaded = false;
	unmap_from(0);
	if (failed) {
		errno = failed_errno;
		return RANGE_WRITE_FAILED;
	}
	return 0;
}
