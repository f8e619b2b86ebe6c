/*
 * The filter's fast reader, both paths, against its line-at-a-time path
 * through read_value(): the lines read and the twins among them; the first
 * byte places the text in a chunk and may end it early, leaving the rest
 * in the buffer.
 */
#include <cstdint>
#include <cstdlib>

#include "../scan_reference.h"

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1 || size > 4 * SCAN_LINES)
		return 0;
	std::string text((const char *)data + 1, size - 1);
	size_t cut = text.size() - text.size() * (data[0] >> 6) / 8;
	reading want = read_by_lines(text.substr(0, cut)), got;
	for (scan_fn *scan : {scan_twins, scan_twins_generic})
		if (!read_by_scan(scan, text, cut, data[0] % 64, &got) || got != want)
			abort();
	return 0;
}
