/* quarn-around: print the prime factorization of every integer in a range. */
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "block.h"
#include "factor.h"
#include "line.h"
#include "tool.h"

const char prog_name[] = "quarn-around";
const char usage_text[] = "Usage: %s number1 [number2]\n\n"
			  "Display prime factors of integers around the specified number.\n"
			  "Works on up to 14 digit integers.\n"
			  "A number range may be specified on the command line.\n";

/* Factorization lines are gathered here and written in large blocks. */
static char obuf[1 << 16];
static size_t olen;

static void
flush_out(void)
{
	if (olen > 0 && fwrite(obuf, 1, olen, stdout) != olen)
		io_error("write");
	olen = 0;
	if (fflush(stdout) != 0)
		io_error("write");
}

static bool
is_positive_integer(double x)
{
	return x > 0 && fmod(x, 1.0) == 0;
}

static void
window(double n, double *start, double *end)
{
	*end = n + 10;
	*start = n - 10;
	if (*start < 1)
		*start = 1;
}

/* Set in the dialogue, where the primes listed for one answer serve the next. */
static bool dialogue;

static void
put_line(const char *end)
{
	olen = (size_t)(end - obuf);
	if (olen > sizeof obuf - LINE_MAX_LEN)
		flush_out();
}

static void
print_blocks(double start, double end)
{
	long len;

	block_begin(start, end, dialogue ? BLOCK_KEPT : 0);
	count_from(start);
	while ((len = block_next()) > 0)
		for (long i = 0; i < len; i++) {
			const found_factors *f = block_result(i);
			put_line(
			    put_result(put_count(obuf + olen), f->factors, f->exponents, f->count));
		}
}

/* Prints the lines for start ... end; returns 1 after a diagnostic. */
static int
factor_range(double start, double end)
{
	if (!is_positive_integer(start) || !is_positive_integer(end)) {
		(void)fprintf(stderr, "%s: Number must be a positive integer.\n", prog_name);
		return 1;
	}
	if (start >= FACTOR_LIMIT || end >= FACTOR_LIMIT) {
		(void)fprintf(stderr, "%s: Number is too large.\n", prog_name);
		return 1;
	}
	/*
	 * In the dialogue the large primes are listed once, and windows of
	 * any size measured faster a block at a time.
	 */
	if (dialogue || end - start + 1 >= (double)block_min(end)) {
		print_blocks(start, end);
		return 0;
	}
	// NOLINTNEXTLINE(cert-flp30-c,clang-analyzer-security.FloatLoopCounter): exact below 2^53
	for (; start <= end; start++)
		put_line(format_line(obuf + olen, start));
	return 0;
}

/*
 * Reads the next answer; false ends the dialogue.  scanf converts what it
 * holds even when a read fails, so an answer counts only if none did.
 */
static bool
get_answer(double *n)
{
	int got;

	// NOLINTNEXTLINE(cert-err34-c): "%lf" acceptance is the input grammar
	got = scanf("%lf", n);
	if (ferror(stdin))
		io_error("read");
	return got == 1 && *n != 0;
}

static int
interactive(void)
{
	static const char prompt[] = "Enter integer to factor around (0 to exit): ";
	double n, start, end;

	dialogue = true;
	for (;;) {
		memcpy(obuf + olen, prompt, sizeof prompt - 1);
		olen += sizeof prompt - 1;
		flush_out();
		if (!get_answer(&n))
			return 0;
		window(n, &start, &end);
		factor_range(start, end);
	}
}

int
main(int argc, char *argv[])
{
	double start, end;
	int status;

	if (argc > 3)
		usage();
	if (argc < 2) {
		status = interactive();
	} else {
		if (range_args(argc, argv, read_double, &start, &end) == 1)
			window(start, &start, &end);
		status = factor_range(start, end);
	}
	flush_out();
	return status;
}
