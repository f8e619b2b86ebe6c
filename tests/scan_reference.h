/*
 * A text read by the filter's line-at-a-time path, read_value() on each
 * line, and by a scan function with the lines it leaves skipped a line at
 * a time, as the filter does; for differential tests.  A reading has, for
 * each common line, its newline's place and whether it is 2 more than the
 * line before it, and for each other line its start.
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
typedef void scan_fn(const char *, const char *, uint64_t, uint32_t *, scan_result *);

/* What no line's value is 2 more than. */
static const uint64_t no_value = (uint64_t)1 << 62;

/* The value the filter takes for a line, or no_value where it takes none. */
inline uint64_t
value_of(const char *line, size_t len)
{
	double v;

	return len <= MAX_LINE && read_value(line, len, &v) ? (uint64_t)v : no_value;
}

/* Whether the line at at is common: 1 to 15 digits and a newline before end. */
inline bool
common_line(const std::string &text, size_t at, size_t end)
{
	size_t nl = text.find('\n', at);

	return nl < end && nl > at && nl - at <= 15 &&
	    text.find_first_not_of("0123456789", at) == nl;
}

inline reading
read_by_lines(const std::string &text)
{
	reading r;
	uint64_t before = no_value;

	for (size_t at = 0, nl; at < text.size(); at = nl + 1) {
		nl = text.find('\n', at);
		size_t len = (nl == std::string::npos ? text.size() : nl) - at;
		uint64_t v = value_of(text.data() + at, len);
		if (!common_line(text, at, text.size()) || v == no_value)
			r.insert(r.end(), {0, at});
		else
			r.insert(r.end(), {1, nl, v == before + 2});
		before = v;
		if (nl == std::string::npos)
			break;
	}
	return r;
}

/*
 * The first cut bytes of all, cut placed shift (below 64) bytes after a
 * chunk boundary, the rest of all after them and bytes that would read as
 * lines around.  False if a scan read more than it may, stopped short of
 * its limit before a common line, or told other lengths, bytes or last
 * value than those of the lines it read.
 */
inline bool
read_by_scan(scan_fn *scan, const std::string &all, size_t cut, size_t shift, reading *r)
{
	static std::vector<char> room;
	static uint32_t found_twins[SCAN_LINES + 16];
	uint64_t before = no_value;
	size_t at = 0;
	scan_result got;

	room.assign(4 * SCAN_PAD + all.size(), '\n');
	for (size_t i = 0; i < room.size(); i += 2)
		room[i] = (char)('1' + i % 9);
	char *base = room.data() + SCAN_PAD;
	base += 64 - (uintptr_t)base % 64 + shift;
	memcpy(base, all.data(), all.size());
	r->clear();
	while (at < cut) {
		scan(base + at, base + cut, before, found_twins, &got);
		if (got.lines > SCAN_LINES || got.twins > got.lines)
			return false;
		size_t start = at, len = 0;
		for (size_t i = 0, k = 0; i < got.lines; i++) {
			size_t nl = all.find('\n', start);
			if (nl >= cut)
				return false;
			bool twin = k < got.twins && twin_end(found_twins[k]) == nl - at;
			if (twin &&
			    (twin_len(found_twins[k]) != nl - start ||
				twin_before(found_twins[k]) != len))
				return false;
			k += twin;
			r->insert(r->end(), {1, nl, twin});
			len = nl - start;
			start = nl + 1;
			if (i + 1 == got.lines && k != got.twins)
				return false;
		}
		if (got.lines <= SCAN_LINES - 32 && common_line(all, start, cut))
			return false;
		if (got.lines > 0) {
			if (got.bytes != start - at ||
			    got.last_value != value_of(&all[start - 1 - len], len))
				return false;
			before = got.last_value;
			at = start;
			continue;
		}
		r->insert(r->end(), {0, at});
		size_t nl = all.find('\n', at);
		nl = nl < cut ? nl : cut;
		before = value_of(&all[at], nl - at);
		at = nl + 1;
	}
	return true;
}

#endif
