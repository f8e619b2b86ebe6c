/* Number and line formatting against "%.0f" and the plain line format. */
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../reference.h"
#include "number.h"

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	uint64_t v = 0;
	char got[LINE_MAX_LEN];
	double x;

	if (size < 8)
		return 0;
	memcpy(&v, data, 8);
	x = (double)(v % 9007199254740992);
	if (v == 0 && size > 8)
		x = -0.0;
	if (std::string(got, put_value(got, x)) != printf_value(x))
		abort();
	x = (double)(1 + v % 99999999999999);
	if (std::string(got, format_line(got, x)) != printf_line(x))
		abort();
	return 0;
}
