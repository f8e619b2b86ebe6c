/*
 * The range sieve: the job's geometry, its memory and its workers.  The
 * bytes of the range, 30 numbers each as in the listing, are cut into
 * units that threads take in ascending order.  A unit is presieved,
 * crossed off by the big tier (big_tier.cpp) and the small and middle
 * tiers (tiers.cpp), read off into its thread's text and written in its
 * turn (order.cpp), after the unit before it.
 */
#include "range.h"

#include <cassert>
#include <cerrno>
#include <pthread.h>
#include <sys/mman.h>

#include "big_tier.h"
#include "huge_tier.h"
#include "order.h"
#include "primes.h"
#include "tiers.h"
#include "wheel.h"

enum {
	/*
	 * The bytes of a unit: 126 million numbers where the big tier takes
	 * part, each of whose primes costs a division a unit, otherwise at
	 * most 31 million (unit_size()).  The first unit is short, so that
	 * the first lines come soon.
	 */
	UNIT_BYTES = 1 << 22,
	SHORT_UNIT_BYTES = 1 << 20,
	LEAST_UNIT_BYTES = 1 << 15,
	FIRST_UNIT_BYTES = 1 << 18,
	/*
	 * A thread's text is written when the next batch might not fit: a
	 * unit's whole text where it may fit in OUT_BYTES, about 20 bytes a
	 * byte, otherwise pieces of OUT_PIECE.
	 */
	OUT_BYTES = 1 << 20,
	OUT_PIECE = 1 << 18,
	TEXT_PER_BYTE = 20,
	/* Mapped areas are cut at cache lines. */
	CACHE_LINE = 64,
};

/*
 * The most a job maps, shared lists and workers together: workers are
 * left out that would map more.  With what the program needs besides, its
 * resident memory stays below 96 MB however many CPUs there are.
 */
static const size_t JOB_BYTES = (size_t)84 << 20;

/* The range, cut into units, and the text's function, shared by the threads. */
static u64 range_start, range_stop, first_byte, byte_count, unit_count;
static u32 unit_bytes, first_unit_bytes;
static range_put job_put;
static size_t line_max, out_bytes;
static unsigned char *shared_area;
static size_t shared_size;

/* What each thread works with, in memory of its own. */
struct worker {
	unsigned char *bits;
	char *out;
	size_t olen;
	u32 *offs;
	sieving *places;
	huge_work *huge;
	size_t size;
	u64 unit;
	int id;
	pthread_t thread;
};

static worker workers[MAX_WORKERS];
static int worker_count;

/* n bytes rounded up to whole cache lines. */
static size_t
cache_lines(size_t n)
{
	return (n + CACHE_LINE - 1) / CACHE_LINE * CACHE_LINE;
}

static void *
map(size_t n)
{
	void *p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);

	return p == MAP_FAILED ? nullptr : p;
}

/* Sieves the unit of len bytes from byte b on into the worker's bits; false if the job stopped. */
static bool
sieve_unit(worker *w, u64 b, u32 len)
{
	unsigned char *bits = w->bits;

	if (huge_any()) {
		/* The helpers start on their slices; the unit's worker joins them last. */
		huge_start(b, len);
		presieve(bits, b, len);
		const bool ok = (!big_any() || cross_big(bits, b, len, order_stopped)) &&
		    cross_tiers(bits, b, len, w->places, order_stopped);
		if (!cross_huge(bits, w->huge, order_stopped) || !ok)
			return false;
	} else {
		presieve(bits, b, len);
		if (big_any() && !cross_big(bits, b, len, order_stopped))
			return false;
		if (!cross_tiers(bits, b, len, w->places, order_stopped))
			return false;
	}
	if (b == first_byte)
		clip_byte(bits, b, range_start, range_stop);
	if (b + len == first_byte + byte_count)
		clip_byte(bits + len - 1, b + len - 1, range_start, range_stop);
	return true;
}

/* Writes the worker's text in its turn. */
static bool
write_out(worker *w)
{
	if (!order_write(w->id, w->unit, w->out, w->olen))
		return false;
	w->olen = 0;
	return true;
}

/* Puts the text of n primes base + offs[i], writing what is there first if they might not fit. */
static bool
put_text(worker *w, u64 base, const u32 *offs, int n)
{
	if (out_bytes - w->olen < (size_t)n * line_max + CACHE_LINE && !write_out(w))
		return false;
	w->olen = (size_t)(job_put(w->out + w->olen, base, offs, n) - w->out);
	return true;
}

/* Reads the unit's primes off and writes their text in its turn; false once the job stopped. */
static bool
emit_unit(worker *w, u64 b, u32 len)
{
	if (b == 0) {
		u32 small[3];
		int n = 0;
		for (u32 p : below_seven)
			if (range_start <= p && p <= range_stop)
				small[n++] = p;
		if (n > 0 && !put_text(w, 0, small, n))
			return false;
	}
	for (u32 i = 0; i < len; i += READ_BYTES) {
		if (order_stopped())
			return false;
		int n = read_off(w->bits + i, (u32)min_u64(len - i, READ_BYTES), 30 * i, w->offs);
		if (n > 0 && !put_text(w, 30 * b, w->offs, n))
			return false;
	}
	return write_out(w);
}

static void *
work(void *arg)
{
	worker *w = static_cast<worker *>(arg);

	while (order_next(w->id, &w->unit)) {
		const u64 b =
		    first_byte + (w->unit == 0 ? 0 : first_unit_bytes + (w->unit - 1) * unit_bytes);
		const u32 len = (u32)min_u64(
		    w->unit == 0 ? first_unit_bytes : unit_bytes, first_byte + byte_count - b);
		if (!sieve_unit(w, b, len) || !emit_unit(w, b, len))
			break;
	}
	return nullptr;
}

/*
 * With the huge tier, as long as its primes allow: a team sieves them one
 * at a time, and each lists the primes.  With the big tier, UNIT_BYTES.
 * Otherwise as short as the sieving
 * primes allow, a power of two from LEAST_UNIT_BYTES to SHORT_UNIT_BYTES
 * and at least eight bytes a prime: each prime costs a division a unit,
 * and a short unit's text fits its thread's buffer, so that threads write
 * their units one after another without waiting.
 */
static u32
unit_size(void)
{
	u32 n = LEAST_UNIT_BYTES;

	if (huge_any())
		return HUGE_UNIT_MAX;
	if (big_any())
		return UNIT_BYTES;
	while (n < SHORT_UNIT_BYTES && n < 8 * (u64)tiers_count())
		n *= 2;
	return n;
}

/* The listing of the sieving primes. */
static listing primes;

/*
 * Maps the lists of the sieving primes, each as large as the square root
 * of stop may need, and lists them, those of the huge tier aside.
 */
static bool
list_sieving(u64 stop, bool more)
{
	const u32 root = isqrt(stop), kept = (u32)min_u64(root, HUGE_FROM - 1);
	const size_t middle = cache_lines(tiers_bytes(kept)),
		     size = cache_lines(middle + big_bytes(kept));

	shared_area = nullptr;
	if (size > 0 && (shared_area = static_cast<unsigned char *>(map(size))) == nullptr)
		return false;
	shared_size = size;
	tiers_begin(shared_area, more);
	big_begin(shared_area + middle);
	huge_begin(root);
	listing_begin(&primes, 0, kept);
	const u32 *ps;
	for (int n; (n = listing_next(&primes, &ps)) > 0;) {
		tiers_take(ps, n);
		big_take(ps, n);
	}
	return true;
}

/* The bytes of a worker's unit, text and offsets, each on cache lines of its own. */
static size_t
bits_bytes(void)
{
	return cache_lines(unit_bytes + 8);
}

static size_t
text_bytes(void)
{
	return cache_lines(out_bytes);
}

static size_t
offs_bytes(void)
{
	return cache_lines((PRIME_BATCH + 8) * sizeof(u32));
}

static size_t
places_bytes(void)
{
	return cache_lines(tiers_places());
}

static size_t
huge_bytes(void)
{
	return huge_any() ? cache_lines(sizeof(huge_work)) : 0;
}

/* The bytes a worker maps. */
static size_t
worker_bytes(void)
{
	return bits_bytes() + text_bytes() + offs_bytes() + places_bytes() + huge_bytes();
}

/* Maps a worker's memory: its unit, its text, its offsets and its primes' places. */
static bool
map_worker(worker *w, int id)
{
	const size_t bits = bits_bytes(), out = text_bytes(), offs = offs_bytes();
	const size_t size = worker_bytes();
	unsigned char *area = static_cast<unsigned char *>(map(size));

	if (area == nullptr)
		return false;
	w->id = id;
	w->size = size;
	w->bits = area;
	w->out = reinterpret_cast<char *>(area + bits);
	w->offs = reinterpret_cast<u32 *>(area + bits + out);
	w->places = reinterpret_cast<sieving *>(area + bits + out + offs);
	w->huge = reinterpret_cast<huge_work *>(area + bits + out + offs + places_bytes());
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
		(void)munmap(shared_area, shared_size);
	if (first == 0)
		shared_size = 0;
}

/* Starts worker i's thread: a worker of its own, or a helper of the huge tier's team. */
static bool
start_thread(const pthread_attr_t *attr, int i)
{
	worker *w = &workers[i];

	if (!huge_any())
		return pthread_create(&w->thread, attr, work, w) == 0;
	huge_helper(i, w->bits, w->huge, order_stopped);
	return pthread_create(&w->thread, attr, huge_help, w->huge) == 0;
}

/*
 * Threads with small stacks of their own size; those that start, run.
 * Workers share the output, helpers only the huge tier's team.
 */
static void
start_threads(void)
{
	pthread_attr_t attr;
	int started = 1;

	if (worker_count > 1 && pthread_attr_init(&attr) == 0) {
		order_threaded(!huge_any());
		(void)pthread_attr_setstacksize(&attr, PTHREAD_STACK_MIN + (1 << 16));
		for (int i = 1; i < worker_count; i++)
			started += start_thread(&attr, started);
		(void)pthread_attr_destroy(&attr);
	}
	if (started == 1)
		order_threaded(false); /* no thread runs to read it */
	if (huge_any())
		huge_team(started);
	unmap_from(started);
}

/* Cuts the range into units and sizes the text buffers. */
static void
cut_units(void)
{
	unit_bytes = (u32)min_u64(unit_size(), byte_count);
	first_unit_bytes = huge_any() ? unit_bytes : (u32)min_u64(FIRST_UNIT_BYTES, unit_bytes);
	unit_count = 1 + (byte_count - first_unit_bytes + unit_bytes - 1) / unit_bytes;
	out_bytes = (size_t)min_u64((u64)unit_bytes * 8 + 3, PRIME_BATCH) * line_max + CACHE_LINE;
	if ((u64)unit_bytes * TEXT_PER_BYTE <= OUT_BYTES)
		out_bytes += (size_t)unit_bytes * TEXT_PER_BYTE;
	else
		out_bytes += OUT_PIECE;
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
	line_max = (size_t)line;
	first_byte = start / 30;
	byte_count = stop / 30 - first_byte + 1;
	const bool more = byte_count > 2 * (u64)SIEVE_BYTES;
	if (!list_sieving(stop, more)) {
		errno = ENOMEM;
		return RANGE_NO_MEMORY;
	}
	/* Made before any thread starts: the huge tier's listings use them too. */
	if (more || huge_any())
		make_more_patterns();
	cut_units();
	/* The workers whose memory can be mapped, at least one. */
	const u64 afford = shared_size < JOB_BYTES ? (JOB_BYTES - shared_size) / worker_bytes() : 0;
	const u64 useful = huge_any() ? (u64)MAX_WORKERS : unit_count;
	const int wanted = (int)min_u64(min_u64(threads < 1 ? 1 : threads, MAX_WORKERS),
	    min_u64(useful, afford < 1 ? 1 : afford));
	worker_count = 0;
	while (worker_count < wanted && map_worker(&workers[worker_count], worker_count))
		worker_count++;
	if (worker_count == 0) {
		unmap_from(0);
		errno = ENOMEM;
		return RANGE_NO_MEMORY;
	}
	order_begin(unit_count, out);
	start_threads();
	work(&workers[0]);
	if (huge_any())
		huge_dismiss();
	for (int i = 1; i < worker_count; i++)
		(void)pthread_join(workers[i].thread, nullptr);
	order_threaded(false);
	unmap_from(0);
	int err;
	if (order_failed(&err)) {
		errno = err;
		return RANGE_WRITE_FAILED;
	}
	return 0;
}

bool
range_shares_work(u64 start, u64 stop)
{
	return start <= stop &&
	    (stop / 30 - start / 30 >= LEAST_UNIT_BYTES || isqrt(stop) >= HUGE_FROM);
}
