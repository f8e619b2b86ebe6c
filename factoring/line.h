/* Text of one factorization line. */
#ifndef QUARN_LINE_H
#define QUARN_LINE_H

/* Longest line format_line() writes, newline included. */
enum { LINE_MAX_LEN = 256 };

char *put_number(char *p, double x);
char *format_line(char *p, double x);

#endif
