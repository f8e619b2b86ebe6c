/*
 * A text read by the filter's line-at-a-time path, get_number() on each
 * line, and by a scan function with the lines it leaves skipped a line at
 * a time, as the filter does; for differential tests.  A reading is the
 * common lines' values, their newlines' places and the other lines' starts.
 */
#ifndef QUARN_TEST_SCAN_REFERENCE_H
#define QUARN_TEST_SCAN_REFERENCE_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "number.h"
#include "scan.h"

typedef std::vector<uint64_t> reading;
typedef size_t scan_fn(const char *, const char *, uint64_t *, uint32_t *);

inline reading
read_by_lines(const std::string &text)
{
	reading r;
	double v;

	for (size_t at = 0, nl; at < text.size(); at = nl + 1) {
		nl = text.find('\n', at);
		if (nl == std::string::npos || nl == at || nl - at > 15 ||
		    text.find_first_not_of("0123456789", at) < nl ||
		    !get_number(text.substr(at, nl - at).c_str(), &v))
			r.insert(r.end(), {0, at});
		else
			r.insert(r.end(), {1, (uint64_t)v, nl});
		if (nl == std::string::npos)
			break;
	}
	return r;
}

/*
 * The first cut bytes of all, cut placed shift (below 64) bytes after a
 * block boundary, the rest of all after them and bytes that would read as
 * lines around.  The values read go to *vals.  False if a scan read more
 * than it may.
 */
inline bool
read_by_scan(scan_fn *scan, const std::string &all, size_t cut, size_t shift, reading *r,
    std::vector<uint64_t> *vals)
{
	static std::vector<char> room;
	static uint64_t v[1 + SCAN_LINES + 16];
	static uint32_t ends[SCAN_LINES];
	size_t at = 0, n;

	room.assign(4 * SCAN_PAD + all.size(), '\n');
	for (size_t i = 0; i < room.size(); i += 2)
		room[i] = (char)('1' + i % 9);
	char *base = room.data() + SCAN_PAD;
	base += 64 - (uintptr_t)base % 64 + shift;
	memcpy(base, all.data(), all.size());
	r->clear();
	vals->clear();
	while (at < cut) {
		if ((n = scan(base + at, base + cut, v + 1, ends)) > SCAN_LINES)
			return false;
		for (size_t i = 0; i < n; i++) {
			r->insert(r->end(), {1, v[1 + i], at + ends[i]});
			vals->push_back(v[1 + i]);
		}
		if (n > 0) {
			at += ends[n - 1] + 1;
			continue;
		}
		r->insert(r->end(), {0, at});
		const void *nl = memchr(base + at, '\n', cut - at);
		at = nl == nullptr ? cut : (size_t)((const char *)nl - base) + 1;
	}
	return true;
}

#endif
