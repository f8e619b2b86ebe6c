/* The filter's reader of common lines, many lines at a time. */
#ifndef QUARN_SCAN_H
#define QUARN_SCAN_H

#include <cstddef>
#include <cstdint>

/* Bytes before a scan's start and after its end that it may read. */
enum { SCAN_PAD = 64 };
/* Most lines one scan reads. */
enum { SCAN_LINES = 4096 };

size_t scan_lines(const char *p, const char *end, uint64_t *vals, uint32_t *ends);
size_t scan_lines_generic(const char *p, const char *end, uint64_t *vals, uint32_t *ends);
size_t find_twins(const uint64_t *vals, size_t n, uint32_t *at);
size_t find_twins_generic(const uint64_t *vals, size_t n, uint32_t *at);
bool scan_is_wide(void);

#endif
