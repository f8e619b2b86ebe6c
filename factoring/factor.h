/* Prime factoring of integral doubles below FACTOR_LIMIT by wheel trial division. */
#ifndef QUARN_FACTOR_H
#define QUARN_FACTOR_H

/* Every number factored lies below 10^14: up to 14 digits. */
static constexpr double FACTOR_LIMIT = 1e14;

enum { MAX_FACTORS = 64 };

/* Result of the last factor_number() call. */
extern double factors[MAX_FACTORS];
extern int exponents[MAX_FACTORS];
extern int factor_count;
extern double nn;
extern double limit;
/* Trial divisors tried by the last call, for tests and benchmarks. */
extern long trial_count;

void factor_number(double x);

/* The divisibility tests of the factoring loop, exact for n < FACTOR_LIMIT. */
bool divides(double n, double d);
unsigned long long wheel_hits(double n, double base);

#endif
