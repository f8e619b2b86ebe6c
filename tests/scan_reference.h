/*
 * The filter's reading of a text line by line through get_number(), and
 * the same text read by a scan function, with the lines it leaves skipped
 * a line at a time as the filter does.  For differential tests.
 */
#ifndef QUARN_TEST_SCAN_REFERENCE_H
#define QUARN_TEST_SCAN_REFERENCE_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "number.h"
#include "scan.h"

/* The common lines' values and newlines, and where the other lines start. */
struct reading {
	std::vector<uint64_t> vals;
	std::vector<size_t> ends, others;
	bool operator==(const reading &r) const
	{
		return vals == r.vals && ends == r.ends && others == r.others;
	}
};

typedef size_t scan_fn(const char *, const char *, uint64_t *, uint32_t *);

/* A line of 1 to 15 digits with its newline is read, by get_number(). */
inline reading
read_by_lines(const std::string &text)
{
	reading r;
	size_t at = 0;

	while (at < text.size()) {
		size_t nl = text.find('\n', at), len = nl - at;
		double v = -1;
		if (nl == std::string::npos || len < 1 || len > 15 ||
		    text.find_first_not_of("0123456789", at) < nl ||
		    !get_number(text.substr(at, len).c_str(), &v)) {
			r.others.push_back(at);
			if (nl == std::string::npos)
				break;
		} else {
			r.vals.push_back((uint64_t)v);
			r.ends.push_back(nl);
		}
		at = nl + 1;
	}
	return r;
}

/*
 * The first cut bytes of text, placed at offset shift (below 64) of a
 * block boundary, with the rest of the text after them and bytes that
 * would read as lines around.  Returns false if a scan read more than it
 * may.
 */
inline bool
read_by_scan(scan_fn *scan, const std::string &all, size_t cut, size_t shift, reading *r)
{
	const std::string text = all.substr(0, cut);
	static std::vector<char> room;
	static std::vector<uint64_t> vals(1 + SCAN_LINES + 16);
	static std::vector<uint32_t> ends(SCAN_LINES);
	size_t pad = 2 * SCAN_PAD, at = 0;

	room.assign(pad + 64 + all.size() + pad + 64, '\n');
	for (size_t i = 0; i < room.size(); i += 2)
		room[i] = (char)('1' + i % 9);
	char *base = room.data() + pad;
	base += (64 - (uintptr_t)base % 64) % 64 + shift;
	memcpy(base, all.data(), all.size());
	*r = reading();
	for (;;) {
		size_t n = scan(base + at, base + text.size(), vals.data() + 1, ends.data());
		if (n > SCAN_LINES)
			return false;
		for (size_t i = 0; i < n; i++) {
			r->vals.push_back(vals[1 + i]);
			r->ends.push_back(at + ends[i]);
		}
		if (n > 0) {
			at += ends[n - 1] + 1;
			continue;
		}
		if (at == text.size())
			return true;
		r->others.push_back(at);
		const void *nl = memchr(base + at, '\n', text.size() - at);
		if (nl == nullptr)
			return true;
		at = (size_t)((const char *)nl - base) + 1;
	}
}

#endif
