/* The AVX-512 path of the filter's reader: 64 bytes of lines at a time. */
#ifndef QUARN_BLOCKS_H
#define QUARN_BLOCKS_H

#ifdef QUARN_TWIN_AVX512
#include "avx512.h"
#include "twins.h"

WIDE void scan_wide(
    const char *p, const char *end, uint64_t line_before, uint32_t *twins, scan_result *r);
#endif

#endif
