/* quarn-primes: print the primes in a range, one per line. */
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include "primes.h"
#include "range.h"

typedef uint32_t u32;
typedef uint64_t u64;

static const char prog_name[] = "quarn-primes";
static const int pipe_size = 1 << 20;

enum {
	/* The longest line: 16 digits and a newline. */
	LINE_LEN = 17,
	OBUF_LEN = 1 << 20,
	/* Room for a batch's lines, and for the last line's eight-byte copy. */
	BATCH_TEXT = PRIME_BATCH * LINE_LEN + 8,
};
static const u32 e8 = 100000000;

static char obuf[OBUF_LEN];
static size_t olen;

[[noreturn]] static void
usage(void)
{
	(void)fprintf(
	    stderr, "Usage: %s [start] stop\n       %s start-stop\n\n", prog_name, prog_name);
	(void)fputs("Display the primes from start (default 0) to stop, one per line.\n"
		    "Works on integers up to 9007199254740991 (2^53 - 1).\n",
	    stderr);
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

static const char digit_pairs[] = "00010203040506070809101112131415161718192021222324252627282930"
				  "31323334353637383940414243444546474849505152535455565758596061"
				  "6263646566676869707172737475767778798081828384858687888990919293"
				  "949596979899";

/* The two digits of x < 100. */
static const char *
pair(u32 x)
{
	return digit_pairs + 2 * (size_t)x;
}

/* Writes the eight digits of x < 10^8, leading zeros and all. */
static char *
put8(char *p, u32 x)
{
	u32 a = x / 10000, b = x % 10000;

	memcpy(p, pair(a / 100), 2);
	memcpy(p + 2, pair(a % 100), 2);
	memcpy(p + 4, pair(b / 100), 2);
	memcpy(p + 6, pair(b % 100), 2);
	return p + 8;
}

/* Writes x < 10^8 without leading zeros; 0 as "0". */
static char *
put_short(char *p, u32 x)
{
	char t[8];
	int skip = 0;

	put8(t, x);
	while (skip < 7 && t[skip] == '0')
		skip++;
	memcpy(p, t + skip, 8 - skip);
	return p + 8 - skip;
}

/*
 * Writes the lines of the primes base + offs[i].  A number from 10^8 on
 * is its leading digits, kept as text while they stay the same, and eight
 * more.
 */
static void
put_primes(u64 base, const u32 *offs, int n)
{
	static char lead[8];
	static int lead_len;
	static u64 lead_of;
	char *p;
	int i = 0;

	if (olen > OBUF_LEN - BATCH_TEXT)
		flush_out();
	p = obuf + olen;
	for (; i < n && base + offs[i] < e8; i++) {
		p = put_short(p, (u32)(base + offs[i]));
		*p++ = '\n';
	}
	while (i < n) {
		const u64 hi = (base + offs[i]) / e8, from = hi * e8, to = from + e8;
		if (hi != lead_of) {
			lead_len = (int)(put_short(lead, (u32)hi) - lead);
			lead_of = hi;
		}
		for (; i < n && base + offs[i] < to; i++) {
			memcpy(p, lead, 8);
			p = put8(p + lead_len, (u32)(base + offs[i] - from));
			*p++ = '\n';
		}
	}
	olen = (size_t)(p - obuf);
}

/* The value of an argument, which must be a whole number up to RANGE_MAX. */
static u64
whole(double x)
{
	if (x > (double)RANGE_MAX) {
		(void)fprintf(stderr, "%s: Number is too large.\n", prog_name);
		exit(1);
	}
	if (!(x >= 0) || fmod(x, 1.0) != 0) {
		(void)fprintf(stderr, "%s: Number must be a non-negative integer.\n", prog_name);
		exit(1);
	}
	return (u64)x;
}

int
main(int argc, char *argv[])
{
	double start = 0, stop = 0;

	if (argc < 2 || argc > 3)
		usage();
	// NOLINTNEXTLINE(cert-err34-c): "%lf" acceptance is the input grammar
	switch (sscanf(argv[1], "%lf-%lf", &start, &stop)) {
	case 2:
		if (argc == 3)
			usage();
		break;
	case 1:
		if (argc == 2) {
			stop = start;
			start = 0;
			// NOLINTNEXTLINE(cert-err34-c): as above
		} else if (sscanf(argv[2], "%lf", &stop) != 1) {
			usage();
		}
		break;
	default:
		usage();
	}
	const u64 first = whole(start), last = whole(stop);
#ifdef F_SETPIPE_SZ
	/* A larger pipe lets the reader take more at each wake-up. */
	(void)fcntl(1, F_SETPIPE_SZ, pipe_size);
#endif
	range_primes(first, last, put_primes);
	flush_out();
	return 0;
}
