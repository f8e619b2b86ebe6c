/* The filter's reader of common lines, many lines at a time, and the twins among them. */
#ifndef QUARN_SCAN_H
#define QUARN_SCAN_H

#include <cstdint>

#include "twins.h"

void scan_twins(const char *p, const char *end, uint64_t before, uint32_t *twins, scan_result *r);
void scan_twins_generic(
    const char *p, const char *end, uint64_t before, uint32_t *twins, scan_result *r);
bool scan_uses_avx512(void);

#endif
