/* The fast divisibility tests against fmod, on pairs built from the input. */
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../reference.h"
#include "factor.h"

static const uint64_t top = 99999999999999;

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	uint64_t a = 0, b = 0;
	int8_t near = 0;

	if (size < 17)
		return 0;
	memcpy(&a, data, 8);
	memcpy(&b, data + 8, 8);
	memcpy(&near, data + 16, 1);
	uint64_t d = 2 + b % 20000000;
	uint64_t n = a & 1 ? d * (1 + (a >> 1) % (top / d)) : 1 + a % top;
	n += (uint64_t)(int64_t)(near % 3 - 1);
	if (n < 1 || n > top)
		return 0;
	if (divides((double)n, (double)d) != (std::fmod((double)n, (double)d) == 0))
		abort();

	double base = 1 + 210 * (double)(b % 47621);
	if (wheel_hits((double)n, base) != fmod_hits((double)n, base))
		abort();
	return 0;
}
