/*
 * reset_stdin text command [arg ...]: run the command with standard input
 * a stream socket that holds text and then fails with ECONNRESET.  The
 * peer is closed while data it has not read is queued to it, which makes
 * the reader's next read after text fail.
 */
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

int
main(int argc, char *argv[])
{
	int sv[2];

	if (argc < 3) {
		(void)fputs("usage: reset_stdin text command [arg ...]\n", stderr);
		return 2;
	}
	size_t len = strlen(argv[1]);
	if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == -1 ||
	    write(sv[1], argv[1], len) != (ssize_t)len || write(sv[0], "x", 1) != 1 ||
	    close(sv[1]) == -1 || dup2(sv[0], 0) == -1) {
		perror("reset_stdin");
		return 2;
	}
	if (sv[0] != 0)
		(void)close(sv[0]);
	execvp(argv[2], argv + 2);
	perror("reset_stdin");
	return 2;
}
