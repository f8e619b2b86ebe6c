/*
 * Prints "end length" for the ends either side of each crossover between
 * the kernel and the block path, and for the top, with block_min() there:
 * the command-line tests try lengths either side of each, wherever the
 * crossovers move.
 */
#include <cstdio>

#include "reference.h"

int
main(void)
{
	std::uint64_t ends[64], top = 99999999999999;
	int n = crossover_ends(ends, 64);

	for (int i = 0; i < n; i++)
		for (std::uint64_t end : {ends[i] - 1, ends[i]})
			printf("%llu %ld\n", (unsigned long long)end, block_min((double)end));
	printf("%llu %ld\n", (unsigned long long)top, block_min((double)top));
	return 0;
}
