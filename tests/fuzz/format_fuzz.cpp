/* Number and line formatting against "%.0f" and the plain line format. */
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "factor.h"
#include "line.h"
#include "number.h"

static void
check_value(double x)
{
	char want[32], got[32];

	snprintf(want, sizeof want, "%.0f", x);
	*put_value(got, x) = '\0';
	if (strcmp(got, want) != 0)
		abort();
}

static void
check_line(double x)
{
	char want[LINE_MAX_LEN], got[LINE_MAX_LEN];
	int len;

	*format_line(got, x) = '\0';
	len = snprintf(want, sizeof want, "%.0f = ", x);
	for (int i = 0; i < factor_count; i++) {
		len += snprintf(want + len, sizeof want - (size_t)len, "%s%.0f",
		    i > 0 ? " * " : "", factors[i]);
		if (exponents[i] != 1)
			len += snprintf(want + len, sizeof want - (size_t)len, "^%d", exponents[i]);
	}
	snprintf(want + len, sizeof want - (size_t)len, "\n");
	if (strcmp(got, want) != 0)
		abort();
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	uint64_t v = 0;

	if (size < 8)
		return 0;
	memcpy(&v, data, 8);
	check_value((double)(v % 9007199254740992));
	if (v == 0)
		check_value(-0.0);
	check_line((double)(1 + v % 99999999999999));
	return 0;
}
