/*
 * CPU quotas read from files laid out under a root folder as the kernel
 * lays them out: cgroup v2's cpu.max, cgroup v1's cpu.cfs_quota_us and
 * cpu.cfs_period_us, at the paths /proc/self/cgroup and mountinfo give.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sched.h>
#include <string>
#include <unistd.h>

#include "cpus.h"

static std::string root;

static void
remove_root(void)
{
	if (!root.empty())
		(void)system(("rm -rf '" + root + "'").c_str());
}

/* Starts a case with an empty root folder. */
static void
begin(void)
{
	static char name[] = "/tmp/quarn-cpus-XXXXXX";

	if (root.empty()) {
		ASSERT_NE(mkdtemp(name), nullptr);
		root = name;
		atexit(remove_root);
	}
	ASSERT_EQ(system(("rm -rf '" + root + "'/*").c_str()), 0);
}

/* Writes text to the file at path under the root, making its folders. */
static void
put(const std::string &path, const std::string &text)
{
	const std::string file = root + path;
	const std::string dir = file.substr(0, file.rfind('/'));
	ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
	FILE *f = fopen(file.c_str(), "w");
	ASSERT_NE(f, nullptr) << file;
	fputs(text.c_str(), f);
	fclose(f);
}

/* The v2 hierarchy alone, the process in /a/b. */
static void
v2_at_a_b(void)
{
	put("/proc/self/cgroup", "0::/a/b\n");
	put("/proc/self/mountinfo",
	    "25 1 0:23 / /sys/fs/cgroup rw,nosuid shared:9 - cgroup2 cgroup2 rw\n");
}

/*
 * A v1 cpu hierarchy mounted at /sys/fs/cgroup/cpu,cpuacct from its folder
 * top, the process in path.
 */
static void
v1_in(const std::string &path, const std::string &top = "/")
{
	put("/proc/self/cgroup",
	    "12:pids:/\n5:cpuset:/\n4:cpu,cpuacct:" + path + "\n3:name=systemd:/\n0::/\n");
	put("/proc/self/mountinfo",
	    "24 1 0:22 / /sys/fs/cgroup ro,nosuid shared:8 - tmpfs tmpfs ro,mode=755\n"
	    "30 24 0:27 / /sys/fs/cgroup/cpuset rw shared:10 - cgroup cgroup rw,cpuset\n"
	    "31 24 0:28 " +
		top + " /sys/fs/cgroup/cpu,cpuacct rw shared:11 - cgroup cgroup rw,cpu,cpuacct\n");
}

static int
quota(void)
{
	return cpu_quota(root.c_str());
}

static const std::string v1_dir = "/sys/fs/cgroup/cpu,cpuacct";

/* cgroup v1's quota and period in the folder dir. */
static void
v1_files(const std::string &dir, const char *quota_us, const char *period_us)
{
	put(dir + "/cpu.cfs_quota_us", quota_us);
	put(dir + "/cpu.cfs_period_us", period_us);
}

TEST(Quota, V2RoundsHalfUpToAtLeastOne)
{
	begin();
	static const struct {
		const char *max;
		int cpus;
	} cases[] = {{"200000 100000\n", 2}, {"150000 100000\n", 2}, {"149999 100000\n", 1},
	    {"250000 100000\n", 3}, {"50000 100000\n", 1}, {"1000 100000\n", 1},
	    {"6400000 100000\n", 64}, {"100000 1000000\n", 1}, {"300000 200000", 2},
	    {"18446744073709551615 1\n", 2147483647}};
	v2_at_a_b();
	for (const auto &c : cases) {
		put("/sys/fs/cgroup/a/b/cpu.max", c.max);
		EXPECT_EQ(quota(), c.cpus) << c.max;
	}
}

TEST(Quota, V2TheSmallestAlongThePathCounts)
{
	begin();
	v2_at_a_b();
	put("/sys/fs/cgroup/a/b/cpu.max", "max 100000\n");
	put("/sys/fs/cgroup/a/cpu.max", "200000 100000\n");
	EXPECT_EQ(quota(), 2) << "a quota on the parent only";
	put("/sys/fs/cgroup/a/b/cpu.max", "400000 100000\n");
	EXPECT_EQ(quota(), 2) << "a larger one below it";
	put("/sys/fs/cgroup/a/b/cpu.max", "100000 100000\n");
	EXPECT_EQ(quota(), 1) << "a smaller one below it";
	put("/sys/fs/cgroup/a/cpu.max", "max 100000\n");
	put("/sys/fs/cgroup/a/b/cpu.max", "max 100000\n");
	put("/sys/fs/cgroup/cpu.max", "300000 100000\n");
	EXPECT_EQ(quota(), 3) << "on the root folder";
}

TEST(Quota, NoneWhereMaxMissingOrGarbage)
{
	begin();
	v2_at_a_b();
	EXPECT_EQ(quota(), 0) << "no cpu.max anywhere";
	static const char *const garbage[] = {"max 100000\n", "max\n", "", "\n", "abc\n",
	    "200000\n", "200000 0\n", "0 100000\n", "-200000 100000\n", "200000 -100000\n",
	    "+200000 100000\n", "200000  100000\n", "2e5 100000\n", "200000 100000 7\n",
	    "200000x 100000\n", "99999999999999999999 100000\n"};
	for (const char *g : garbage) {
		put("/sys/fs/cgroup/a/b/cpu.max", g);
		EXPECT_EQ(quota(), 0) << '"' << g << '"';
	}
	put("/sys/fs/cgroup/a/cpu.max", "300000 100000\n");
	put("/sys/fs/cgroup/a/b/cpu.max", "garbage\n");
	EXPECT_EQ(quota(), 3) << "garbage below a parent's quota";
}

TEST(Quota, NoneWithoutTheProcessFiles)
{
	begin();
	put("/sys/fs/cgroup/cpu.max", "100000 100000\n");
	v1_files(v1_dir, "100000\n", "100000\n");
	EXPECT_EQ(quota(), 0) << "no /proc/self/cgroup";
	put("/proc/self/cgroup", "4:cpu,cpuacct:/\n");
	EXPECT_EQ(quota(), 0) << "no v2 line, and no mountinfo";
	put("/proc/self/cgroup", "0:cpuacct:/\n1::/\nbroken\n");
	EXPECT_EQ(quota(), 0) << "neither a v2 line nor a v1 cpu line";
	put("/proc/self/cgroup", "0::/\n");
	EXPECT_EQ(quota(), 1) << "the v2 line";
}

TEST(Quota, V1QuotaOverPeriod)
{
	begin();
	static const struct {
		const char *quota, *period;
		int cpus;
	} cases[] = {{"200000\n", "100000\n", 2}, {"50000\n", "100000\n", 1},
	    {"350000\n", "100000\n", 4}, {"340000\n", "100000\n", 3}, {"-1\n", "100000\n", 0},
	    {"200000\n", "0\n", 0}, {"200000\n", "", 0}, {"x\n", "100000\n", 0},
	    {"0\n", "100000\n", 0}};
	v1_in("/docker/c1");
	const std::string dir = v1_dir + "/docker/c1";
	for (const auto &c : cases) {
		v1_files(dir, c.quota, c.period);
		EXPECT_EQ(quota(), c.cpus) << c.quota << " over " << c.period;
	}
}

TEST(Quota, V1ParentsAndTheFolderMounted)
{
	begin();
	v1_in("/docker/c1");
	v1_files(v1_dir, "-1\n", "100000\n");
	v1_files(v1_dir + "/docker", "300000\n", "100000\n");
	EXPECT_EQ(quota(), 3) << "a quota on the parent, none in the cgroup";
	v1_files(v1_dir + "/docker/c1", "100000\n", "100000\n");
	EXPECT_EQ(quota(), 1);
	/* The hierarchy's /docker/c1 mounted: the process's path is below it. */
	v1_in("/docker/c1/job", "/docker/c1");
	v1_files(v1_dir + "/job", "200000\n", "100000\n");
	put(v1_dir + "/cpu.cfs_quota_us", "-1\n");
	EXPECT_EQ(quota(), 2);
	put(v1_dir + "/job/cpu.cfs_quota_us", "-1\n");
	EXPECT_EQ(quota(), 0) << "nothing above the folder mounted is read";
}

TEST(Quota, V1MountsFoundByTheirController)
{
	begin();
	/*
	 * cpuacct, cpuset and a cgroup2 mount are not the cpu controller.  A
	 * line longer than a path is taken whole, never as two lines: the
	 * tail of this one would be a cpu mount of its own.
	 */
	const std::string blanks(6000, ' ');
	put("/proc/self/cgroup", "3:cpuacct:/\n2:cpuset:/\n1:cpu:/\n");
	v1_files("/sys/fs/cgroup/tail", "100000\n", "100000\n");
	put("/proc/self/mountinfo",
	    "39 1 0:29 / / rw - overlay overlay rw" + blanks +
		"44 24 0:34 / /sys/fs/cgroup/tail rw - cgroup cgroup rw,cpu\n"
		"40 24 0:30 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw,cpu\n"
		"41 24 0:31 / /sys/fs/cgroup/cpuacct rw - cgroup cgroup rw,cpuacct\n"
		"42 24 0:32 / /sys/fs/cgroup/cpuset rw - cgroup cgroup rw,cpuset\n"
		"43 24 0:33 / /sys/fs/cgroup/my\\040cpu rw shared:4 master:1 - cgroup cgroup "
		"rw,cpu\n");
	for (const char *dir : {"unified", "cpuacct", "cpuset"}) {
		v1_files(std::string("/sys/fs/cgroup/") + dir, "100000\n", "100000\n");
	}
	EXPECT_EQ(quota(), 0);
	v1_files("/sys/fs/cgroup/my cpu", "400000\n", "100000\n");
	EXPECT_EQ(quota(), 4) << "the mount point with a blank, escaped";
}

TEST(Quota, TheSmallerOfV1AndV2)
{
	begin();
	v1_in("/");
	v1_files(v1_dir, "300000\n", "100000\n");
	put("/sys/fs/cgroup/cpu.max", "500000 100000\n");
	EXPECT_EQ(quota(), 3);
	put("/sys/fs/cgroup/cpu.max", "200000 100000\n");
	EXPECT_EQ(quota(), 2);
}

TEST(Quota, CountedCpusAreTheAffinityBoundByTheQuota)
{
	begin();
	cpu_set_t set;
	ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
	const int mine = CPU_COUNT(&set);
	v2_at_a_b();
	EXPECT_EQ(count_cpus(root.c_str()), mine) << "no quota";
	put("/sys/fs/cgroup/a/cpu.max", "100000 100000\n");
	EXPECT_EQ(count_cpus(root.c_str()), 1);
	put("/sys/fs/cgroup/a/cpu.max", "100000000 100000\n");
	EXPECT_EQ(count_cpus(root.c_str()), mine) << "a quota of 1000 CPUs";
}
