/*
 * The AVX-512 intrinsics, and the target that the filter's vector code is
 * built for; used only where the configure check found them.
 */
#ifndef QUARN_AVX512_H
#define QUARN_AVX512_H

#ifdef QUARN_TWIN_AVX512
/* GCC 12 takes the intrinsics' deliberately undefined vectors for mistakes. */
#ifndef __clang__
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#ifndef __clang__
#pragma GCC diagnostic pop
#endif

#define TARGET_AVX512                                                                              \
	__attribute__((                                                                            \
	    target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,lzcnt,popcnt")))
#endif

#endif
