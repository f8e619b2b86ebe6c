/* The filter's reader of common lines, many lines at a time. */
#ifndef QUARN_SCAN_H
#define QUARN_SCAN_H

#include <cstddef>
#include <cstdint>

/* Bytes before a scan's start and after its end that it may read. */
enum { SCAN_PAD = 64 };
/* Room in the twins array; a scan stops once it holds SCAN_FULL values. */
enum { SCAN_TWINS = 1024, SCAN_FULL = SCAN_TWINS - 40 };
/* The value before the first: no line's value is 2 more. */
static const uint64_t SCAN_NONE = (uint64_t)1 << 62;

size_t scan_lines(const char **p, const char *end, uint64_t *prev, uint64_t *twins);
size_t scan_lines_generic(const char **p, const char *end, uint64_t *prev, uint64_t *twins);
bool scan_is_wide(void);

#endif
