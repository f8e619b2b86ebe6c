#include <cmath>

/* Divider-bound reference: 48 independent quotient tests per revolution. */
long
reference_loop(double n, long revolutions)
{
	static const double skips[48] = {10, 2, 4, 2, 4, 6, 2, 6, 4, 2, 4, 6, 6, 2, 6, 4, 2, 6, 4,
	    6, 8, 4, 2, 4, 2, 4, 8, 6, 4, 6, 2, 4, 6, 2, 6, 6, 4, 2, 4, 6, 2, 6, 4, 2, 4, 2, 10, 2};
	long hits = 0;
	double d = 1;

	for (long r = 0; r < revolutions; r++)
		for (double skip : skips) {
			double q;
			d += skip;
			q = n / d;
			hits += q == std::trunc(q);
		}
	return hits;
}
