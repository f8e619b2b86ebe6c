/*
 * Hot loops built for several vector widths, the widest the CPU has taken
 * at run time.  The build defines QUARN_WIDE_VARIANTS on x86-64 where the
 * compiler takes target attributes and the C library tells the CPU's
 * features as its loader found them (glibc's <sys/platform/x86.h>), so
 * that the CPU is not asked again: in a virtual machine each question
 * costs microseconds.  Elsewhere there is one generic build.
 *
 * WIDE_VARIANTS(linkage, type, name, (params), (args)) defines name() to
 * call name_body(args), an always-inline function, built for x86-64-v4
 * (AVX-512), x86-64-v3 (AVX2) or the baseline.
 */
#ifndef QUARN_WIDE_H
#define QUARN_WIDE_H

/* 4 where the CPU has x86-64-v4, 3 where it has x86-64-v3, otherwise 1. */
int wide_level(void);

#ifdef QUARN_WIDE_VARIANTS
#define WIDE_VARIANTS(linkage, type, name, params, args)                                           \
	__attribute__((target("arch=x86-64-v4"))) static type name##_v4 params                     \
	{                                                                                          \
		return name##_body args;                                                           \
	}                                                                                          \
	__attribute__((target("arch=x86-64-v3"))) static type name##_v3 params                     \
	{                                                                                          \
		return name##_body args;                                                           \
	}                                                                                          \
	linkage type name params                                                                   \
	{                                                                                          \
		switch (wide_level()) {                                                            \
		case 4:                                                                            \
			return name##_v4 args;                                                     \
		case 3:                                                                            \
			return name##_v3 args;                                                     \
		default:                                                                           \
			return name##_body args;                                                   \
		}                                                                                  \
	}
#else
#define WIDE_VARIANTS(linkage, type, name, params, args)                                           \
	linkage type name params                                                                   \
	{                                                                                          \
		return name##_body args;                                                           \
	}
#endif

#endif
