#include "factor.h"

#include <cassert>
#include <cmath>

double factors[MAX_FACTORS];
int exponents[MAX_FACTORS];
int factor_count;
double nn;
double limit;
long trial_count;

/* Gaps between the integers coprime to 210, starting from 1. */
static const double wheel_skips[48] = {
	10, 2, 4, 2, 4, 6, 2, 6, 4, 2, 4, 6, 6, 2, 6, 4, 2, 6, 4, 6, 8, 4, 2, 4,
	2, 4, 8, 6, 4, 6, 2, 4, 6, 2, 6, 6, 4, 2, 4, 6, 2, 6, 4, 2, 4, 2, 10, 2,
};

static void
try_factor(double d)
{
	trial_count++;
	while (fmod(nn, d) == 0) {
		if (factor_count > 0 && factors[factor_count - 1] == d) {
			exponents[factor_count - 1]++;
		} else {
			factors[factor_count] = d;
			exponents[factor_count] = 1;
			factor_count++;
		}
		nn /= d;
		limit = sqrt(nn) + 1;
	}
}

void
factor_number(double x)
{
	nn = x;
	factor_count = 0;
	limit = sqrt(x) + 1;
	trial_count = 0;

	try_factor(2);
	try_factor(3);
	try_factor(5);
	try_factor(7);
	for (double d = 1; limit >= d;)
		for (double skip : wheel_skips) {
			d += skip;
			try_factor(d);
		}
	if (nn > 1)
		try_factor(nn);
	assert(nn == 1.0);
}
