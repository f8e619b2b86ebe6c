/* The widest vector variant the CPU runs, as glibc's loader recorded its features. */
#include "wide.h"

#ifdef QUARN_WIDE_VARIANTS
#include <sys/platform/x86.h>

static int
find_level(void)
{
	const bool v2 = CPU_FEATURE_ACTIVE(CMPXCHG16B) && CPU_FEATURE_ACTIVE(LAHF64_SAHF64) &&
	    CPU_FEATURE_ACTIVE(POPCNT) && CPU_FEATURE_ACTIVE(SSE3) && CPU_FEATURE_ACTIVE(SSE4_1) &&
	    CPU_FEATURE_ACTIVE(SSE4_2) && CPU_FEATURE_ACTIVE(SSSE3);
	const bool v3 = v2 && CPU_FEATURE_ACTIVE(AVX) && CPU_FEATURE_ACTIVE(AVX2) &&
	    CPU_FEATURE_ACTIVE(BMI1) && CPU_FEATURE_ACTIVE(BMI2) && CPU_FEATURE_ACTIVE(F16C) &&
	    CPU_FEATURE_ACTIVE(FMA) && CPU_FEATURE_ACTIVE(LZCNT) && CPU_FEATURE_ACTIVE(MOVBE) &&
	    CPU_FEATURE_ACTIVE(OSXSAVE);
	const bool v4 = v3 && CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW) &&
	    CPU_FEATURE_ACTIVE(AVX512CD) && CPU_FEATURE_ACTIVE(AVX512DQ) &&
	    CPU_FEATURE_ACTIVE(AVX512VL);

	return v4 ? 4 : v3 ? 3 : 1;
}

/*
 * Found once, before main(), so that threads only ever read it.  It calls
 * C functions only, which throw nothing; noexcept would cost the program
 * the C++ library's handler of exceptions.
 */
static const int level = find_level(); // NOLINT(cert-err58-cpp)

int
wide_level(void)
{
	return level;
}
#else
int
wide_level(void)
{
	return 1;
}
#endif
