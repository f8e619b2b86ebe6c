/*
 * Preload shim: sched_getaffinity() reports the first REPORTED_CPUS CPUs,
 * as many as the set holds, whatever the process may really run on.
 * Where THREADS_STARTED names a file, the number of threads that
 * pthread_create() started is written there as the process exits.  With
 * FAIL_THREADS set, pthread_create() fails with EAGAIN.
 */
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>

static int started;

extern "C" int
sched_getaffinity(pid_t pid, size_t size, cpu_set_t *set)
{
	static int (*next)(pid_t, size_t, cpu_set_t *);
	const char *cpus = getenv("REPORTED_CPUS");

	if (next == nullptr)
		next = (int (*)(pid_t, size_t, cpu_set_t *))dlsym(RTLD_NEXT, "sched_getaffinity");
	if (cpus == nullptr)
		return next(pid, size, set);
	const unsigned long n = strtoul(cpus, nullptr, 10);
	memset(set, 0, size);
	for (unsigned long i = 0; i < n && i < 8 * size; i++)
		CPU_SET_S(i, size, set);
	return 0;
}

extern "C" int
pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*run)(void *), void *arg)
{
	static int (*next)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);

	if (next == nullptr)
		next = (int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *),
		    void *))dlsym(RTLD_NEXT, "pthread_create");
	if (getenv("FAIL_THREADS") != nullptr)
		return EAGAIN;
	const int err = next(thread, attr, run, arg);
	if (err == 0)
		__atomic_add_fetch(&started, 1, __ATOMIC_RELAXED);
	return err;
}

__attribute__((destructor)) static void
report_threads(void)
{
	const char *name = getenv("THREADS_STARTED");
	FILE *f = name == nullptr ? nullptr : fopen(name, "w");

	if (f != nullptr) {
		fprintf(f, "%d\n", __atomic_load_n(&started, __ATOMIC_RELAXED));
		fclose(f);
	}
}
