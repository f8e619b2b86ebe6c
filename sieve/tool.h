/*
 * What quarn-around and quarn-primes share as Unix tools: their usage
 * text and diagnostics on standard error, and the arguments that name one
 * number or a range.  Each program keeps its own texts and rules.
 */
#ifndef QUARN_TOOL_H
#define QUARN_TOOL_H

/* Defined by each program: its name, and its usage text, in which each %s stands for the name. */
extern const char prog_name[];
extern const char usage_text[];

/* Writes the usage text to standard error and exits with status 1. */
[[noreturn]] void usage(void);
/* Writes "name: what error: " and the reason errno holds, and exits with status 1. */
[[noreturn]] void io_error(const char *what);

/*
 * Reads the number at the start of s into *value; returns the end of its
 * text, or nullptr where there is none.
 */
typedef const char *(*number_reader)(const char *s, void *value);
/* A number_reader for a double, read as "%lf" reads it. */
const char *read_double(const char *s, void *value);

/*
 * The command line's numbers, in argv[1] and argv[2] where argc is 2 or
 * 3: a range, "A-B" alone or A and B, read into *a and *b, returns 2; one
 * number alone, read into *a, returns 1.  A text after a number is
 * ignored.  Anything else writes the usage text and exits.
 */
int range_args(int argc, char *argv[], number_reader read, void *a, void *b);

#endif
