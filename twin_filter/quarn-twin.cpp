/* quarn-twin: print the twin pairs in an ascending list of primes. */
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "number.h"
#include "scan.h"

static const char prog_name[] = "quarn-twin";
static const int pipe_size = 1 << 20;

/* Input from ibuf[0], with room to read on either side for scan_twins(). */
enum { IBUF_SIZE = 1 << 19 };
alignas(64) static char ibuf_room[SCAN_PAD + IBUF_SIZE + SCAN_PAD];
static char *const ibuf = ibuf_room + SCAN_PAD;
static size_t ipos, iend;
static bool ieof;

static_assert((int)IBUF_SIZE < (int)SCAN_BYTES, "a twin keeps its place in 20 bits");
/* The twins scan_twins() found. */
static uint32_t found_twins[SCAN_LINES + 16];

static char obuf[1 << 16];
static size_t olen;

[[noreturn]] static void
usage(void)
{
	(void)fprintf(stderr, "Usage: quarn-primes | %s\n\n", prog_name);
	(void)fputs("Filter for displaying only twin primes (primes that differ by 2).\n", stderr);
	exit(1);
}

[[noreturn]] static void
io_error(const char *what)
{
	(void)fprintf(stderr, "%s: %s error: %s\n", prog_name, what, strerror(errno));
	exit(1);
}

static void
flush_out(void)
{
	if (olen > 0 && fwrite(obuf, 1, olen, stdout) != olen)
		io_error("write");
	olen = 0;
	if (fflush(stdout) != 0)
		io_error("write");
}

/* The pairs found so far are written before the read is reported. */
[[noreturn]] static void
read_error(void)
{
	int saved = errno;

	flush_out();
	errno = saved;
	io_error("read");
}

[[noreturn]] static void
input_error(void)
{
	flush_out();
	(void)fprintf(stderr, "%s: Error in input number.\n", prog_name);
	exit(1);
}

/* Moves the unread rest to the front of ibuf and reads more after it. */
static void
refill(void)
{
	ssize_t n;

	iend -= ipos;
	memmove(ibuf, ibuf + ipos, iend);
	ipos = 0;
	do
		n = read(0, ibuf + iend, IBUF_SIZE - iend);
	while (n < 0 && errno == EINTR);
	if (n < 0)
		read_error();
	if (n == 0)
		ieof = true;
	iend += (size_t)n;
}

/*
 * Returns the next line, its length in *len without the newline, or NULL
 * at end of input.  Of a line longer than MAX_LINE only a longer prefix
 * comes back.
 */
static const char *
next_line(size_t *len)
{
	for (;;) {
		const char *p = ibuf + ipos;
		size_t avail = iend - ipos;
		size_t look = avail < MAX_LINE + 1 ? avail : MAX_LINE + 1;
		const char *nl = static_cast<const char *>(memchr(p, '\n', look));

		if (nl != NULL) {
			*len = (size_t)(nl - p);
			ipos += *len + 1;
			return p;
		}
		if (avail > MAX_LINE || (ieof && avail > 0)) {
			*len = avail;
			ipos = iend;
			return p;
		}
		if (ieof)
			return NULL;
		refill();
	}
}

static void
put_pair(double a, double b)
{
	char *p;

	if (olen > sizeof obuf - 64)
		flush_out();
	p = put_value(obuf + olen, a);
	*p++ = ' ';
	p = put_value(p, b);
	*p++ = '\n';
	olen = (size_t)(p - obuf);
}

/* Writes at o the pair of a twin that ends at e, len long, after a line of value before. */
static char *
put_values(char *o, const char *e, size_t len, uint64_t before)
{
	double v = (double)(before + 2);

	if (len > 0)
		(void)digit_run(e - len, e, &v);
	o = put_integer(o, (uint64_t)v - 2);
	*o++ = ' ';
	o = put_integer(o, (uint64_t)v);
	*o++ = '\n';
	return o;
}

/*
 * The pairs of the k twins found by a scan from p, after a line of value
 * before.  Where both lines of a pair are in the buffer without leading
 * zeros, their text is the pair's.  A pair takes 32 bytes at most, so
 * those that begin before the last 64 bytes of the buffer are counted
 * ahead and go without a check.
 */
static void
put_twins(const char *p, size_t k, uint64_t before)
{
	char *o = obuf + olen, *const last = obuf + sizeof obuf - 64;

	for (size_t j = 0; j < k;) {
		if (o > last) {
			olen = (size_t)(o - obuf);
			flush_out();
			o = obuf;
		}
		size_t end = j + (size_t)(last - o) / 32 + 1;

		for (end = end < k ? end : k; j < end; j++) {
			const char *e = p + twin_end(found_twins[j]);
			size_t len = twin_len(found_twins[j]), len1 = twin_before(found_twins[j]);
			const char *b = e - len, *a = b - 1 - len1;

			if (len1 > 0 && (a[0] != '0' || len1 == 1) && (b[0] != '0' || len == 1)) {
				memcpy(o, a, 32);
				o[len1] = ' ';
				o += e + 1 - a;
			} else {
				o = put_values(o, e, len1 > 0 ? len : 0, before);
			}
		}
	}
	olen = (size_t)(o - obuf);
}

/* Reads the common lines at ipos, after *prev, and writes their pairs. */
static void
scan_input(double *prev)
{
	/* No line's value is 2 more than 2^62. */
	uint64_t before = std::isnan(*prev) ? (uint64_t)1 << 62 : (uint64_t)*prev;
	scan_result r;

	do {
		const char *p = ibuf + ipos;

		scan_twins(p, ibuf + iend, before, found_twins, &r);
		if (r.lines == 0)
			return;
		put_twins(p, r.twins, before);
		ipos += r.bytes;
		before = r.last_value;
		*prev = (double)r.last_value;
	} while (r.lines > SCAN_LINES - 32);
}

/*
 * Reads the next value into *cur, a line at a time; false at end of input.
 * A line of a plain digit run is taken directly; any other goes through
 * read_value().
 */
static bool
next_value(double *cur)
{
	const char *line = ibuf + ipos;
	size_t len = digit_run(line, ibuf + iend, cur);

	if (len > 0 && ipos + len < iend && line[len] == '\n') {
		ipos += len + 1;
		return true;
	}
	if ((line = next_line(&len)) == NULL)
		return false;
	if (len > MAX_LINE || !read_value(line, len, cur))
		input_error();
	return true;
}

int
main(int argc, char *argv[])
{
	double cur;
	/* The first value has no predecessor: NaN + 2 equals nothing. */
	double prev = NAN;

	(void)argv;
	if (argc > 1 || isatty(0))
		usage();
#ifdef F_SETPIPE_SZ
	/* A larger pipe lets the writer run ahead with fewer wake-ups. */
	(void)fcntl(0, F_SETPIPE_SZ, pipe_size);
#endif
	for (;;) {
		/* After -0, the one value with its sign set, a pair prints "-0". */
		if (!std::signbit(prev))
			scan_input(&prev);
		if (!next_value(&cur))
			break;
		if (prev + 2 == cur)
			put_pair(prev, cur);
		prev = cur;
	}
	flush_out();
	return 0;
}
