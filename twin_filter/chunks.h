/* The AVX-512 path of the filter's reader: 64 bytes of lines at a time. */
#ifndef QUARN_CHUNKS_H
#define QUARN_CHUNKS_H

#ifdef QUARN_TWIN_AVX512
#include "avx512.h"
#include "twins.h"

TARGET_AVX512 void scan_avx512(const char *p, const char *end, uint64_t line_before, uint64_t *vals,
    uint32_t *ends, uint32_t *twins, scan_result *r);
#endif

#endif
