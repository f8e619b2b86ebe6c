/* quarn-primes: print the primes in a range, one per line. */
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "arith.h"
#include "cpus.h"
#include "digits.h"
#include "range.h"
#include "tool.h"
#include "whole.h"

const char prog_name[] = "quarn-primes";
const char usage_text[] = "Usage: %s [start] stop\n       %s start-stop\n\n"
			  "Display the primes from start (default 0) to stop, one per line.\n"
			  "Works on integers up to 18446744073709551615 (2^64 - 1).\n";
static const int pipe_size = 1 << 20;

/*
 * The longest line, with the scratch past it: 16 bytes of leading digits
 * are copied, and a number has up to 20 digits and a newline.
 */
enum { SHORT_LINE_LEN = 17, LINE_LEN = 21 };

static bool
write_text(const char *p, size_t n)
{
	while (n > 0) {
		ssize_t k = write(1, p, n);
		if (k < 0 && errno == EINTR)
			continue;
		if (k <= 0) {
			if (k == 0)
				errno = EIO;
			return false;
		}
		p += k;
		n -= (size_t)k;
	}
	return true;
}

/* Writes x without leading zeros, 0 as "0"; returns the end. */
static char *
put_decimal(char *p, u64 x)
{
	char t[20];
	int n = 0;

	do {
		t[n++] = (char)('0' + x % 10);
		x /= 10;
	} while (x > 0);
	while (n > 0)
		*p++ = t[--n];
	return p;
}

/*
 * Writes the lines of the primes base + offs[i].  A number from 10^4 on
 * is the digits above its last four, kept as text while they stay the
 * same, and four more from a table.  Each line is written with 16 bytes
 * of the leading digits, scratch past them included.
 */
static char *
put_primes(char *p, u64 base, const u32 *offs, int n)
{
	char lead[24] = {};
	u64 from = 0, to = 0; /* the numbers that share the leading digits */
	size_t lead_len = 0;
	int i = 0;

	for (; i < n && base + offs[i] < 10000; i++) {
		p = put_decimal(p, base + offs[i]);
		*p++ = '\n';
	}
	for (; i < n; i++) {
		const u64 x = base + offs[i];
		if (x >= to) {
			const u64 hi = x / 10000;
			lead_len = (size_t)(put_decimal(lead, hi) - lead);
			from = hi * 10000;
			to = from + 10000;
		}
		memcpy(p, lead, 16);
		memcpy(p + lead_len, digit_groups.text[1][x - from], 4);
		p[lead_len + 4] = '\n';
		p += lead_len + 5;
	}
	return p;
}

/* An argument: its value, and what read_whole() made of its text. */
struct arg {
	u64 value;
	int status;
};

static const char *
read_arg(const char *s, void *a)
{
	return read_whole(s, &static_cast<arg *>(a)->value, &static_cast<arg *>(a)->status);
}

/* The value of an argument, which must be a whole number up to RANGE_MAX. */
static u64
whole(const arg *a)
{
	if (a->status == WHOLE_TOO_LARGE) {
		(void)fprintf(stderr, "%s: Number is too large.\n", prog_name);
		exit(1);
	}
	if (a->status != WHOLE_OK) {
		(void)fprintf(stderr, "%s: Number must be a non-negative integer.\n", prog_name);
		exit(1);
	}
	return a->value;
}

int
main(int argc, char *argv[])
{
	arg start = {0, WHOLE_OK}, stop;

	if (argc < 2 || argc > 3)
		usage();
	if (range_args(argc, argv, read_arg, &start, &stop) == 1) {
		stop = start;
		start = {0, WHOLE_OK};
	}
	const u64 first = whole(&start), last = whole(&stop);
#ifdef F_SETPIPE_SZ
	/* A larger pipe lets the reader take more at each wake-up. */
	(void)fcntl(1, F_SETPIPE_SZ, pipe_size);
#endif
	/* Reading the CPU quota takes longer than a short job. */
	const int threads = range_shares_work(first, last) ? count_cpus("") : 1;
	const int line = last < 10000000000000000ULL ? SHORT_LINE_LEN : LINE_LEN;
	switch (range_primes(first, last, threads, put_primes, line, write_text)) {
	case RANGE_NO_MEMORY:
		(void)fprintf(stderr, "%s: %s\n", prog_name, strerror(errno));
		return 1;
	case RANGE_WRITE_FAILED:
		io_error("write");
	default:
		return 0;
	}
}
