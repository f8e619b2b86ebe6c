/* Text of one factorization line. */
#ifndef QUARN_LINE_H
#define QUARN_LINE_H

/* Room for the longest line, its newline and the scratch past it. */
enum { LINE_MAX_LEN = 256 };

char *put_number(char *p, double x);
/* The factors of the result table and a newline. */
char *put_result(char *p);
/* Factors x and writes its whole line. */
char *format_line(char *p, double x);

/* Sets the counter to x >= 1; put_count() writes it and " = " and adds 1. */
void count_from(double x);
char *put_count(char *p);

#endif
