/*
 * The CPUs a process may use: those it may run on, and no more than the
 * CPU quota of its cgroup grants.  Files are read under a root folder,
 * "" for the running system, so that a test can lay them out.
 */
#ifndef QUARN_CPUS_H
#define QUARN_CPUS_H

/*
 * The CPUs the smallest quota along the process's cgroups grants, rounded
 * half up and at least 1; 0 where no quota applies.  It reads cgroup v2's
 * ROOT/sys/fs/cgroup/PATH/cpu.max, PATH from the "0::" line of
 * ROOT/proc/self/cgroup, and that of each parent up to the root; and cgroup
 * v1's cpu.cfs_quota_us over cpu.cfs_period_us in the cpu controller's
 * folder, at its mount point in ROOT/proc/self/mountinfo, and in each
 * parent up to the mount point.  A file missing or unreadable sets no
 * quota.
 */
int cpu_quota(const char *root);

/* The CPUs the process may run on, no more than cpu_quota(root) where set; at least 1. */
int count_cpus(const char *root);

#endif
