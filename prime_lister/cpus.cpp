#include "cpus.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

enum {
	/* A folder's path, and a line of /proc/self/cgroup or mountinfo. */
	PATH_BYTES = PATH_MAX,
	LINE_BYTES = PATH_MAX + 256,
	/* The fields of a mountinfo line that are looked at, and a few more. */
	MAX_FIELDS = 16,
};

/* A file read a line at a time, without the C library's buffers. */
struct reader {
	int fd;
	size_t have, at;
	char buf[1024];
};

/* Opens the file dir/name; false if it cannot be, or if its path is too long. */
static bool
open_reader(reader *r, const char *dir, const char *name)
{
	char path[PATH_BYTES];

	if (snprintf(path, sizeof path, "%s/%s", dir, name) >= (int)sizeof path)
		return false;
	r->fd = open(path, O_RDONLY | O_CLOEXEC);
	r->have = r->at = 0;
	return r->fd >= 0;
}

/* The next byte, or -1 at the end or on an error. */
static int
next_byte(reader *r)
{
	if (r->at == r->have) {
		ssize_t n;
		while ((n = read(r->fd, r->buf, sizeof r->buf)) < 0 && errno == EINTR)
			;
		if (n <= 0)
			return -1;
		r->have = (size_t)n;
		r->at = 0;
	}
	return (unsigned char)r->buf[r->at++];
}

/* Reads the next line into line without its newline; a line too long for it is passed over. */
static bool
next_line(reader *r, char *line, size_t size)
{
	for (;;) {
		size_t n = 0;
		bool whole = true;
		int c;
		while ((c = next_byte(r)) >= 0 && c != '\n') {
			if (n + 1 < size)
				line[n++] = (char)c;
			else
				whole = false;
		}
		line[n] = '\0';
		if (c < 0 && n == 0 && whole)
			return false;
		if (whole)
			return true;
		if (c < 0)
			return false;
	}
}

/* The first line of the file dir/name, in line; false if it cannot be read. */
static bool
first_line(const char *dir, const char *name, char *line, size_t size)
{
	reader r;

	if (!open_reader(&r, dir, name))
		return false;
	const bool ok = next_line(&r, line, size);
	(void)close(r.fd);
	return ok;
}

/* The number whose digits start at *s, moved past them; false if none, or too large. */
static bool
digits(const char **s, uint64_t *v)
{
	char *end;

	if (**s < '0' || **s > '9')
		return false;
	errno = 0;
	*v = strtoull(*s, &end, 10);
	*s = end;
	return errno == 0;
}

/* Whether s holds nothing but blanks. */
static bool
only_blanks(const char *s)
{
	while (*s == ' ' || *s == '\t')
		s++;
	return *s == '\0';
}

/* The CPUs that quota in each period grants, rounded half up, at least 1. */
static int
granted(uint64_t quota, uint64_t period)
{
	const uint64_t whole = quota / period, rest = quota % period;
	uint64_t n = whole;

	if (rest >= period - rest)
		n++;
	if (n > INT_MAX)
		return INT_MAX;
	return n == 0 ? 1 : (int)n;
}

/* The CPUs granted by cgroup v2's cpu.max in dir, "QUOTA PERIOD" or "max PERIOD"; 0 for none. */
static int
v2_quota(const char *dir)
{
	char line[64];
	const char *s = line;
	uint64_t quota, period;

	if (!first_line(dir, "cpu.max", line, sizeof line) || !digits(&s, &quota) || *s != ' ')
		return 0;
	s++;
	if (!digits(&s, &period) || !only_blanks(s) || quota == 0 || period == 0)
		return 0;
	return granted(quota, period);
}

/* A file of dir holding one whole number above 0. */
static bool
positive(const char *dir, const char *name, uint64_t *v)
{
	char line[64];
	const char *s = line;

	return first_line(dir, name, line, sizeof line) && digits(&s, v) && only_blanks(s) &&
	    *v > 0;
}

/* The CPUs granted by cgroup v1's cpu.cfs_quota_us over cpu.cfs_period_us in dir; 0 for none. */
static int
v1_quota(const char *dir)
{
	uint64_t quota, period;

	if (!positive(dir, "cpu.cfs_quota_us", &quota) ||
	    !positive(dir, "cpu.cfs_period_us", &period))
		return 0;
	return granted(quota, period);
}

/*
 * The smallest quota of dir and of its parents down to its first `top`
 * bytes, by quota(); 0 where none has one.  dir is cut as it goes.
 */
static int
smallest(char *dir, size_t top, int (*quota)(const char *))
{
	size_t len = strlen(dir);
	int least = 0;

	while (len > top && dir[len - 1] == '/')
		dir[--len] = '\0';
	for (;;) {
		const int n = quota(dir);
		if (n > 0 && (least == 0 || n < least))
			least = n;
		while (len > top && dir[len - 1] != '/')
			len--;
		if (len <= top)
			break;
		while (len > top && dir[len - 1] == '/')
			len--;
		dir[len] = '\0';
	}
	return least;
}

/* Whether item is one of the comma-separated items of list. */
static bool
has_item(const char *list, const char *item)
{
	const size_t n = strlen(item);

	for (const char *s = list; s != nullptr; s = strchr(s, ',')) {
		if (*s == ',')
			s++;
		if (strncmp(s, item, n) == 0 && (s[n] == ',' || s[n] == '\0'))
			return true;
	}
	return false;
}

/*
 * The cgroup path in ROOT/proc/self/cgroup on the line of v2 ("0::PATH"),
 * or else of the v1 hierarchy whose controllers include cpu.
 */
static bool
cgroup_path(const char *root, bool v2, char *path, size_t size)
{
	char line[LINE_BYTES];
	bool found = false;
	reader r;

	if (!open_reader(&r, root, "proc/self/cgroup"))
		return false;
	while (!found && next_line(&r, line, sizeof line)) {
		char *list = strchr(line, ':');
		char *at = list == nullptr ? nullptr : strchr(list + 1, ':');
		if (at == nullptr)
			continue;
		*list++ = '\0';
		*at++ = '\0';
		if (v2)
			found = strcmp(line, "0") == 0 && *list == '\0';
		else
			found = has_item(list, "cpu");
		found = found && *at == '/' && strlen(at) < size;
		if (found)
			memcpy(path, at, strlen(at) + 1);
	}
	(void)close(r.fd);
	return found;
}

/* Replaces the escapes \ooo of a mountinfo field by their bytes. */
static void
unescape(char *s)
{
	char *to = s;

	for (; *s != '\0'; s++) {
		if (s[0] == '\\' && s[1] >= '0' && s[1] <= '3' && s[2] >= '0' && s[2] <= '7' &&
		    s[3] >= '0' && s[3] <= '7') {
			*to++ = (char)((s[1] - '0') * 64 + (s[2] - '0') * 8 + (s[3] - '0'));
			s += 3;
		} else {
			*to++ = *s;
		}
	}
	*to = '\0';
}

/* Cuts a line at blanks into at most max fields; returns their count. */
static int
fields(char *line, char **field, int max)
{
	char *rest;
	int n = 0;

	for (char *s = strtok_r(line, " ", &rest); s != nullptr && n < max;
	     s = strtok_r(nullptr, " ", &rest))
		field[n++] = s;
	return n;
}

/*
 * The mount point of the first cgroup v1 hierarchy with the cpu
 * controller in ROOT/proc/self/mountinfo, and the folder of the hierarchy
 * mounted there.
 */
static bool
cpu_mount(const char *root, char *point, char *top, size_t size)
{
	char line[LINE_BYTES];
	bool found = false;
	reader r;

	if (!open_reader(&r, root, "proc/self/mountinfo"))
		return false;
	while (!found && next_line(&r, line, sizeof line)) {
		char *field[MAX_FIELDS];
		const int n = fields(line, field, MAX_FIELDS);
		int dash = 6;
		while (dash < n && strcmp(field[dash], "-") != 0)
			dash++;
		if (dash + 3 >= n || strcmp(field[dash + 1], "cgroup") != 0 ||
		    !has_item(field[dash + 3], "cpu"))
			continue;
		unescape(field[3]);
		unescape(field[4]);
		found = strlen(field[3]) < size && strlen(field[4]) < size;
		if (found) {
			memcpy(top, field[3], strlen(field[3]) + 1);
			memcpy(point, field[4], strlen(field[4]) + 1);
		}
	}
	(void)close(r.fd);
	return found;
}

/* The folder of a cgroup path below ROOT/base, and the length of ROOT/base in it. */
static bool
folder(char *dir, size_t *top, const char *root, const char *base, const char *path)
{
	const int n = snprintf(dir, PATH_BYTES, "%s%s", root, base);

	if (n >= PATH_BYTES)
		return false;
	*top = (size_t)n;
	return snprintf(dir + n, PATH_BYTES - (size_t)n, "%s", path) < PATH_BYTES - n;
}

/* The smallest v1 quota: the cgroup path is taken relative to the folder mounted. */
static int
v1_smallest(const char *root)
{
	char path[PATH_BYTES], point[PATH_BYTES], top[PATH_BYTES], dir[PATH_BYTES];
	const char *below = "";
	size_t len;

	if (!cgroup_path(root, false, path, sizeof path) ||
	    !cpu_mount(root, point, top, sizeof point))
		return 0;
	const size_t n = strcmp(top, "/") == 0 ? 0 : strlen(top);
	if (strncmp(path, top, n) == 0 && (path[n] == '/' || path[n] == '\0'))
		below = path + n;
	if (!folder(dir, &len, root, point, below))
		return 0;
	return smallest(dir, len, v1_quota);
}

int
cpu_quota(const char *root)
{
	char path[PATH_BYTES], dir[PATH_BYTES];
	size_t len;
	int least = 0;

	if (cgroup_path(root, true, path, sizeof path) &&
	    folder(dir, &len, root, "/sys/fs/cgroup", path))
		least = smallest(dir, len, v2_quota);
	const int v1 = v1_smallest(root);
	if (v1 > 0 && (least == 0 || v1 < least))
		least = v1;
	return least;
}

/* The CPUs the process may run on. */
static int
affinity(void)
{
#ifdef CPU_COUNT
	cpu_set_t set;

	if (sched_getaffinity(0, sizeof set, &set) == 0)
		return CPU_COUNT(&set);
#endif
	const long n = sysconf(_SC_NPROCESSORS_ONLN);
	return n > 0 && n < INT_MAX ? (int)n : 1;
}

int
count_cpus(const char *root)
{
	const int n = affinity(), quota = cpu_quota(root);

	if (quota > 0 && quota < n)
		return quota;
	return n < 1 ? 1 : n;
}
