/* Prime factoring of integral doubles below 10^14 by wheel trial division. */
#ifndef QUARN_FACTOR_H
#define QUARN_FACTOR_H

enum { MAX_FACTORS = 64 };

/*
 * Wider vector units where the CPU has them, chosen at load time.  The build
 * defines QUARN_HAVE_TARGET_CLONES where the compiler and the C library can
 * do this (it takes ifunc); without it there is the one generic build.
 */
#ifdef QUARN_HAVE_TARGET_CLONES
#define WIDE_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define WIDE_CLONES
#endif

/* Result of the last factor_number() call. */
extern double factors[MAX_FACTORS];
extern int exponents[MAX_FACTORS];
extern int factor_count;
extern double nn;
extern double limit;
/* Trial divisors tried by the last call, for tests and benchmarks. */
extern long trial_count;

void factor_number(double x);

/* The divisibility tests of the factoring loop, exact for n < 10^14. */
bool divides(double n, double d);
unsigned long long wheel_hits(double n, double base);

#endif
