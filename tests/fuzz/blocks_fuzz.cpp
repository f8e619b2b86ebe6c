/* The block routine against factor_number on short ranges built from the input. */
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../reference.h"

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const uint64_t top = 99999999999999;
	uint64_t a = 0;
	uint16_t len = 0;

	if (size < 10)
		return 0;
	memcpy(&a, data, 8);
	memcpy(&len, data + 8, 2);
	len = (uint16_t)(1 + len % 300);
	/* Small starts as often as large ones: the top byte picks the scale. */
	uint64_t start = 1 + (a & 0x00ffffffffffffff) % (top >> (data[7] % 40));
	uint64_t end = start + len - 1 < top ? start + len - 1 : top;
	/* The large primes as the dialogue takes them, listed, or as the length decides. */
	const int how = data[9] >= 0xf0 ? BLOCK_KEPT : data[9] >= 0xe0 ? BLOCK_LISTED : 0;
	if (block_lines(start, end, how) != number_lines(start, end))
		abort();
	return 0;
}
