/* Conversion of the filter's numbers between text and double. */
#ifndef QUARN_NUMBER_H
#define QUARN_NUMBER_H

#include <cstddef>
#include <cstdint>

/* Longest accepted input line, the newline not counted. */
enum { MAX_LINE = 48 };

bool get_number(const char *text, double *cur);
size_t digit_run(const char *p, const char *end, double *v);
bool read_value(const char *line, size_t len, double *cur);
char *put_integer(char *p, uint64_t v);
char *put_value(char *p, double x);

#endif
