/* The two tools' usage text, their I/O errors, and their one number or range. */
#include "tool.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

/* The usage text is written at once: standard error is not buffered. */
void
usage(void)
{
	char text[1024] = "";
	size_t n = 0;

	for (const char *s = usage_text; *s != '\0' && n < sizeof text - 1; s++) {
		if (s[0] == '%' && s[1] == 's') {
			for (const char *p = prog_name; *p != '\0' && n < sizeof text - 1; p++)
				text[n++] = *p;
			s++;
		} else {
			text[n++] = *s;
		}
	}
	(void)fwrite(text, 1, n, stderr);
	exit(1);
}

void
io_error(const char *what)
{
	(void)fprintf(stderr, "%s: %s error: %s\n", prog_name, what, strerror(errno));
	exit(1);
}

const char *
read_double(const char *s, void *value)
{
	int n = 0;

	// NOLINTNEXTLINE(cert-err34-c): "%lf" acceptance is the input grammar
	return sscanf(s, "%lf%n", static_cast<double *>(value), &n) == 1 ? s + n : nullptr;
}

/*
 * As sscanf(argv[1], "%lf-%lf") would take it with the reader's numbers:
 * the first number, then a minus sign right after it and the second.
 */
int
range_args(int argc, char *argv[], number_reader read, void *a, void *b)
{
	const char *end = read(argv[1], a);

	if (end == nullptr)
		usage();
	if (*end == '-' && read(end + 1, b) != nullptr) {
		if (argc == 3)
			usage();
		return 2;
	}
	if (argc == 2)
		return 1;
	if (read(argv[2], b) == nullptr)
		usage();
	return 2;
}
