/* The filter's fast line reader against its "%lf"-based reference. */
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "number.h"

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	char text[MAX_LINE + 1];
	double fast = -1, ref = -1;

	if (size > MAX_LINE)
		return 0;
	memcpy(text, data, size);
	text[size] = '\0';
	bool fast_ok = read_value((const char *)data, size, &fast);
	bool ref_ok = get_number(text, &ref);
	if (fast_ok != ref_ok)
		abort();
	if (ref_ok && (fast != ref || std::signbit(fast) != std::signbit(ref)))
		abort();
	return 0;
}
