/*
 * The lister's number reader against a slow exact one: where "%lf" ends
 * the text, its status and its value.
 */
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../whole_reference.h"

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	char text[512];
	double d;
	int n = -1, status = -1;
	uint64_t got = 0, want = 0;

	if (size >= sizeof text)
		return 0;
	memcpy(text, data, size);
	text[size] = '\0';
	const char *end = read_whole(text, &got, &status);
	// NOLINTNEXTLINE(cert-err34-c): "%lf" is what read_whole() must match
	const char *scanned = sscanf(text, "%lf%n", &d, &n) == 1 ? text + n : nullptr;
	if (end != scanned)
		abort();
	if (end) {
		const int ref = reference_whole(std::string(text, (size_t)(end - text)), &want);
		if (ref >= 0 && (ref != status || got != want))
			abort();
	}
	return 0;
}
