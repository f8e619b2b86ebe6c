/*
 * Started as PROGRAM.qemu, runs the cross-built PROGRAM under the QEMU user
 * emulator with the target's libraries from SYSROOT, both set at build time.
 * Linked statically, so that no host loader acts on an LD_PRELOAD meant for
 * the target: it is handed on to the emulated loader.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

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
	execvp(QEMU, (char *const *)args);
	perror("qemu_launch: " QEMU);
	return 127;
}
