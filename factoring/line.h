/* The text of factorization lines: numbers, factors, a counter. */
#ifndef QUARN_LINE_H
#define QUARN_LINE_H

/* Room for the longest line, its newline and the scratch past it. */
enum { LINE_MAX_LEN = 256 };

char *put_number(char *p, double x);
/* The n factors fs[i] with their exponents es[i], and a newline. */
char *put_result(char *p, const double *fs, const int *es, int n);
/* Factors x and writes its whole line. */
char *format_line(char *p, double x);

/* Sets the counter to x >= 1; put_count() writes it and " = " and adds 1. */
void count_from(double x);
char *put_count(char *p);

#endif
