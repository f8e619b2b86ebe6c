/*
 * Started as PROGRAM.qemu, runs the cross-built PROGRAM under the QEMU user
 * emulator with the target's libraries from SYSROOT, both set at build time.
 * Linked statically, so that no host loader acts on an LD_PRELOAD meant for
 * the target: it is handed on to the emulated loader.  Built with ONE_CPU,
 * it lets the program run on one CPU only, so that it starts no thread:
 * qemu-i386 7.2 hangs in an emulated pthread_create().
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <unistd.h>

static void
one_cpu(void)
{
#ifdef ONE_CPU
	cpu_set_t set;
	int first = 0;

	if (sched_getaffinity(0, sizeof set, &set) != 0)
		return;
	while (first < CPU_SETSIZE - 1 && !CPU_ISSET(first, &set))
		first++;
	CPU_ZERO(&set);
	CPU_SET(first, &set);
	(void)sched_setaffinity(0, sizeof set, &set);
#endif
}

int
main(int argc, char **argv)
{
	static const char suffix[] = ".qemu";
	static char prog[4096], preload[4096];
	static const char *args[64];
	const char *env = getenv("LD_PRELOAD");
	size_t len = strlen(argv[0]), slen = sizeof suffix - 1;
	int n = 0;

	if (len <= slen || len >= sizeof prog || strcmp(argv[0] + len - slen, suffix) != 0 ||
	    argc > 56) {
		(void)fprintf(
		    stderr, "qemu_launch: run as PROGRAM%s, with at most 55 arguments\n", suffix);
		return 127;
	}
	memcpy(prog, argv[0], len - slen);
	args[n++] = QEMU;
	args[n++] = "-L";
	args[n++] = SYSROOT;
	if (env != nullptr) {
		(void)snprintf(preload, sizeof preload, "LD_PRELOAD=%s", env);
		args[n++] = "-E";
		args[n++] = preload;
		(void)unsetenv("LD_PRELOAD");
	}
	args[n++] = prog;
	for (int i = 1; i < argc; i++)
		args[n++] = argv[i];
	one_cpu();
	execvp(QEMU, (char *const *)args);
	perror("qemu_launch: " QEMU);
	return 127;
}
