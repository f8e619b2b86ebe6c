/*
 * Preload shim: read() on descriptor 0 fails with EIO once FAIL_READ_AFTER
 * bytes have been read from it; reads stop short of that point.
 */
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

extern "C" ssize_t
read(int fd, void *buf, size_t count)
{
	static ssize_t (*next)(int, void *, size_t);
	static size_t done;
	const char *after = getenv("FAIL_READ_AFTER");

	if (next == nullptr)
		next = (ssize_t(*)(int, void *, size_t))dlsym(RTLD_NEXT, "read");
	if (fd != 0 || after == nullptr)
		return next(fd, buf, count);
	size_t left = strtoul(after, nullptr, 10) - done;
	if (left == 0) {
		errno = EIO;
		return -1;
	}
	ssize_t n = next(fd, buf, count < left ? count : left);
	if (n > 0)
		done += (size_t)n;
	return n;
}
