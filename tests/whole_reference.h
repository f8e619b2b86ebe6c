/*
 * A slow exact reader of the text "%lf" took, to check read_whole()
 * against: the digits built into a big integer by long multiplication,
 * then multiplied or divided by the base once per step of the exponent.
 */
#ifndef QUARN_TEST_WHOLE_REFERENCE_H
#define QUARN_TEST_WHOLE_REFERENCE_H

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "whole.h"

/* Limbs of 32 bits, the lowest first, none of them zero at the top. */
typedef std::vector<uint32_t> big;

/* Exponents the reference takes, steps of the base counted. */
static const long long reference_steps = 3000;

inline void
big_mul_add(big &n, uint32_t m, uint32_t a)
{
	uint64_t carry = a;

	for (uint32_t &limb : n) {
		carry += (uint64_t)limb * m;
		limb = (uint32_t)carry;
		carry >>= 32;
	}
	if (carry)
		n.push_back((uint32_t)carry);
}

/* Divides n by d; returns the remainder. */
inline uint32_t
big_div(big &n, uint32_t d)
{
	uint64_t r = 0;

	for (size_t i = n.size(); i-- > 0;) {
		const uint64_t x = r << 32 | n[i];
		n[i] = (uint32_t)(x / d);
		r = x % d;
	}
	while (!n.empty() && n.back() == 0)
		n.pop_back();
	return (uint32_t)r;
}

/*
 * The status read_whole() must give the number text, with the value in
 * *value; -1 where the exponent is beyond reference_steps.
 */
inline int
reference_whole(const std::string &text, uint64_t *value)
{
	std::string t = text.substr(text.find_first_not_of(" \t\n\v\f\r"));
	const bool minus = t[0] == '-';

	for (char &c : t)
		c = (char)tolower((unsigned char)c);
	if (t[0] == '+' || t[0] == '-')
		t.erase(0, 1);
	*value = 0;
	if (t[0] == 'i')
		return minus ? WHOLE_NOT_WHOLE : WHOLE_TOO_LARGE;
	if (t[0] == 'n')
		return WHOLE_NOT_WHOLE;
	const bool hex = t.compare(0, 2, "0x") == 0;
	const uint32_t radix = hex ? 16 : 10;
	big n;
	long long steps = 0;
	size_t i = hex ? 2 : 0;
	for (bool point = false; i < t.size(); i++) {
		if (t[i] == '.' && !point) {
			point = true;
			continue;
		}
		const char *digits = "0123456789abcdef";
		const char *at = strchr(digits, t[i]);
		if (!at || t[i] == '\0' || (uint32_t)(at - digits) >= radix)
			break;
		big_mul_add(n, radix, (uint32_t)(at - digits));
		steps -= point ? (hex ? 4 : 1) : 0;
	}
	if (i < t.size() && t[i] == (hex ? 'p' : 'e'))
		steps += strtoll(t.c_str() + i + 1, nullptr, 10);
	if (steps > reference_steps || steps < -reference_steps)
		return -1;
	bool fraction = false;
	for (; steps > 0; steps--)
		big_mul_add(n, hex ? 2 : 10, 0);
	for (; steps < 0; steps++)
		fraction |= big_div(n, hex ? 2 : 10) != 0;
	if (n.empty() && !fraction)
		return WHOLE_OK;
	if (minus)
		return WHOLE_NOT_WHOLE;
	if (n.size() > 2)
		return WHOLE_TOO_LARGE;
	const uint64_t v = (n.size() > 0 ? n[0] : 0) | (n.size() > 1 ? (uint64_t)n[1] << 32 : 0);
	if (fraction)
		return v == UINT64_MAX ? WHOLE_TOO_LARGE : WHOLE_NOT_WHOLE;
	*value = v;
	return WHOLE_OK;
}

#endif
