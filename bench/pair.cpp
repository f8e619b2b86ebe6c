/*
 * Times two commands side by side, as a shell would start them but with
 * no shell of their own: alternating runs after one warm-up each, the
 * median wall time of each and the ratio of the medians.  A word "|"
 * joins the stages of a pipeline; the last stage writes to /dev/null.  The
 * words "<" FILE give the first stage its input, /dev/null otherwise.
 *
 *	pair RUNS COMMAND ... --vs COMMAND ...
 */
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

static void
die(const char *what)
{
	perror(what);
	exit(2);
}

/* Runs the pipeline of the words, nullptr between stages; returns seconds. */
static double
run(std::vector<char *> words, const char *input)
{
	timespec t0, t1;
	std::vector<pid_t> pids;
	int in = open(input, O_RDONLY), null = open("/dev/null", O_WRONLY);

	if (in < 0 || null < 0)
		die(input);
	clock_gettime(CLOCK_MONOTONIC, &t0);
	for (size_t at = 0; at < words.size();) {
		size_t end =
		    std::find(words.begin() + (long)at, words.end(), nullptr) - words.begin();
		int fd[2] = {-1, null};
		if (end < words.size() && pipe(fd) != 0)
			die("pipe");
		pid_t pid = fork();
		if (pid < 0)
			die("fork");
		if (pid == 0) {
			dup2(in, 0);
			dup2(end < words.size() ? fd[1] : null, 1);
			if (fd[0] >= 0)
				close(fd[0]);
			words.push_back(nullptr);
			execvp(words[at], &words[at]);
			die(words[at]);
		}
		pids.push_back(pid);
		close(in);
		if (fd[0] >= 0)
			close(fd[1]);
		in = fd[0];
		at = end + 1;
	}
	for (pid_t pid : pids) {
		int status;
		if (waitpid(pid, &status, 0) < 0)
			die("waitpid");
		if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
			fprintf(stderr, "pair: a command failed\n");
			exit(2);
		}
	}
	clock_gettime(CLOCK_MONOTONIC, &t1);
	close(null);
	return (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) / 1e9;
}

static double
median(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	return v[v.size() / 2];
}

int
main(int argc, char *argv[])
{
	std::vector<char *> a, b, *cur = &a;
	const char *in_a = "/dev/null", *in_b = in_a, **in = &in_a;
	int runs = argc > 1 ? atoi(argv[1]) : 0;

	for (int i = 2; i < argc; i++) {
		if (strcmp(argv[i], "--vs") == 0) {
			cur = &b;
			in = &in_b;
		} else if (strcmp(argv[i], "<") == 0 && i + 1 < argc) {
			*in = argv[++i];
		} else {
			cur->push_back(strcmp(argv[i], "|") == 0 ? nullptr : argv[i]);
		}
	}
	if (runs < 1 || a.empty() || b.empty()) {
		fprintf(stderr, "usage: pair RUNS COMMAND ... --vs COMMAND ...\n");
		return 2;
	}
	std::vector<double> ta, tb;
	run(a, in_a);
	run(b, in_b);
	for (int i = 0; i < runs; i++) {
		ta.push_back(run(a, in_a));
		tb.push_back(run(b, in_b));
	}
	double ma = median(ta), mb = median(tb);
	printf("%.4f %.4f %.3f\n", ma, mb, ma / mb);
	return 0;
}
