/*
 * The exact value of a number's text: "%lf" decides what is a number and
 * where it ends, and the text it took is read without rounding, so that
 * every whole number up to 2^64 - 1 is read as written.
 */
#ifndef QUARN_WHOLE_H
#define QUARN_WHOLE_H

#include <cstdint>

/* What a number's text denotes, as the lister judges it. */
enum { WHOLE_OK, WHOLE_NOT_WHOLE, WHOLE_TOO_LARGE };

/*
 * Reads the number at the start of s, where sscanf's "%lf" would find it
 * (leading white space, sign, decimal or hexadecimal digits, a point, an
 * exponent, inf, nan): returns the end of its text, or nullptr, setting
 * nothing, where "%lf" finds no number.  *status tells whether it denotes a
 * whole number from 0 to 2^64 - 1, then in *value (0 otherwise);
 * WHOLE_TOO_LARGE above 2^64 - 1 (a fraction or infinity above it
 * included); WHOLE_NOT_WHOLE for a fraction, a negative number, NaN or
 * negative infinity.  Minus zero is 0.
 */
const char *read_whole(const char *s, uint64_t *value, int *status);

#endif
