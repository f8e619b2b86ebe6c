/*
 * pieces size command [arg ...]: run the command with standard input a
 * socket of packets, and send it this program's standard input size bytes
 * a packet (the last may be shorter).  A read of the socket returns one
 * packet at most, so each of the command's reads gets one piece, whatever
 * the timing.  Exits with the command's status.
 */
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

static char piece[1 << 16];

/* Fills piece with up to size bytes of standard input; returns how many. */
static size_t
next_piece(size_t size)
{
	size_t got = 0;
	ssize_t n;

	while (got < size && (n = read(0, piece + got, size - got)) > 0)
		got += (size_t)n;
	return got;
}

int
main(int argc, char *argv[])
{
	int sv[2], status;
	size_t size = argc > 2 ? strtoul(argv[1], nullptr, 10) : 0, len;
	pid_t pid;

	if (size < 1 || size > sizeof piece) {
		(void)fputs("usage: pieces size command [arg ...]\n", stderr);
		return 2;
	}
	if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv) == -1 || (pid = fork()) == -1) {
		perror("pieces");
		return 2;
	}
	if (pid == 0) {
		if (dup2(sv[0], 0) == -1)
			_exit(2);
		(void)close(sv[0]);
		(void)close(sv[1]);
		execvp(argv[2], argv + 2);
		perror("pieces");
		_exit(127);
	}
	(void)close(sv[0]);
	/* A command that ends early leaves the rest unsent. */
	(void)signal(SIGPIPE, SIG_IGN);
	while ((len = next_piece(size)) > 0 && send(sv[1], piece, len, 0) == (ssize_t)len) {
	}
	(void)close(sv[1]);
	if (waitpid(pid, &status, 0) == -1) {
		perror("pieces");
		return 2;
	}
	return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
