#!/usr/bin/env bats
# The command line and output of quarn-primes.

PRIMES=${PRIMES:-build/quarn-primes}
TWIN=${TWIN:-build/quarn-twin}
USAGE="Usage: quarn-primes [start] stop
       quarn-primes start-stop

Display the primes from start (default 0) to stop, one per line.
Works on integers up to 18446744073709551615 (2^64 - 1)."
NOT_WHOLE="quarn-primes: Number must be a non-negative integer."
TOO_LARGE="quarn-primes: Number is too large."

load helpers

setup() {
	cd "$BATS_TEST_TMPDIR"
}

# Skips a test of CPUs reported by the preloaded shim where it cannot run.
needs_shim() {
	[ -n "${REPORT_CPUS:-}" ] || skip "no CPU count shim"
	[ "${EMULATED:-}" != i686 ] || skip "qemu-i386 hangs when a program starts a thread"
}

# with_cpus N COMMAND ...: COMMAND with N CPUs reported, under a time
# limit that only a hang reaches.
with_cpus() {
	local n=$1
	shift
	timeout 300 env REPORTED_CPUS="$n" LD_PRELOAD="$REPORT_CPUS" \
		ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" "$@"
}

# Skips a test near 2^64 under emulation: each job there lists some 200
# million primes; .ci/cross compares one such job with the native build.
near_top() {
	[ -z "${EMULATED:-}" ] || skip "too slow to emulate near 2^64"
}

# run_primes STATUS STDOUT STDERR ARG...: one run and what it must give.
run_primes() {
	local status=$1 stdout=$2 stderr=$3 got=0
	shift 3
	"$PRIMES" "$@" >out 2>err || got=$?
	outcome "quarn-primes $*" "$got" "$status" "$stdout" "$stderr"
}

@test "usage errors print the usage text and exit 1" {
	run_primes 1 "" "$USAGE"
	run_primes 1 "" "$USAGE" 1 2 3
	run_primes 1 "" "$USAGE" abc
	run_primes 1 "" "$USAGE" 10 abc
	run_primes 1 "" "$USAGE" 10-20 30
	run_primes 1 "" "$USAGE" ""
}

@test "values that are not whole numbers or too large are reported" {
	run_primes 1 "" "$NOT_WHOLE" -1
	run_primes 1 "" "$NOT_WHOLE" 1.5
	run_primes 1 "" "$NOT_WHOLE" nan
	run_primes 1 "" "$NOT_WHOLE" 10 -inf
	run_primes 1 "" "$NOT_WHOLE" 2.5-10
	run_primes 1 "" "$NOT_WHOLE" 18446744073709551614.5
	run_primes 1 "" "$TOO_LARGE" 18446744073709551616
	run_primes 1 "" "$TOO_LARGE" 1e999
	run_primes 1 "" "$TOO_LARGE" 0-18446744073709551617
	run_primes 1 "" "$TOO_LARGE" 18446744073709551616 1
	run_primes 1 "" "$TOO_LARGE" 0x1p64
	run_primes 1 "" "$TOO_LARGE" 18446744073709551615.5
	# The start is judged first.
	run_primes 1 "" "$NOT_WHOLE" 1.5 18446744073709551616
	run_primes 1 "" "$TOO_LARGE" 18446744073709551616 1.5
}

@test "numbers are read exactly, in each form" {
	# The last prime below 2^53; 2^53 + 1, which a double does not hold;
	# 10^16 and 10^16 + 61 in other forms.
	run_primes 0 "9007199254740881" "" 9007199254740880 9007199254740991
	run_primes 0 "" "" 9007199254740993 9007199254740993
	run_primes 0 "9007199254740997" "" 9007199254740993-9007199254740997
	run_primes 0 "10000000000000061" "" 1e16 0x2386f26fc1003d
	run_primes 0 "10000000000000061" "" 1.0000000000000061e16 10000000000000061.000
	run_primes 0 $'13\n17' "" +12 0x11
	run_primes 0 "" "" 18446744073709551615 0
}

@test "the last primes below 2^64" {
	near_top
	run_primes 0 "18446744073709551557" "" 18446744073709551534-18446744073709551615
	run_primes 0 "18446744073709551557" "" 0xffffffffffffffc5 0xffffffffffffffc5
	run_primes 0 "" "" 18446744073709551558 18446744073709551615
	run_primes 0 $'10000000000000000051\n10000000000000000087' "" 1e19 1.0000000000000000087e19
}

@test "the three forms of a range, and a start above the stop" {
	want=$'2\n3\n5\n7\n11\n13\n17\n19\n23\n29'
	run_primes 0 "$want" "" 30
	run_primes 0 "$want" "" 0 30
	run_primes 0 "$want" "" 0-30
	run_primes 0 "$want" "" 3e1
	run_primes 0 "$want" "" -0 30
	run_primes 0 "11
13" "" 11 13
	run_primes 0 "" "" 1
	run_primes 0 "" "" 20-10
	run_primes 0 "" "" 9007199254740991 0
	# Primes whose last eight and last four digits are nines.
	run_primes 0 "799999999" "" 799999999 799999999
	run_primes 0 "9999999779999" "" 9999999779990 9999999780000
	run_primes 0 $'9973\n10007' "" 9973 10007
}

@test "lines as an independent lister prints them, across digit and text boundaries" {
	command -v primesieve >/dev/null || skip "primesieve not installed"
	# Across 2^53, and where the huge tier starts, at 134217757^2; out of
	# emulation, across 2^63 and 10^19, around the square of the largest
	# prime below 2^32, and the last numbers below 2^64.
	ranges="0_200000 99990000_100010000 999999000_1000001000 1234599999000_1234600001000
		999999999990000_1000000000010000 9007199254700000_9007199254740991 0_30000000
		9007199253740992_9007199255740992 18014406293111049_18014406295111049"
	[ -n "${EMULATED:-}" ] || ranges="$ranges 9223372036853775808_9223372036855775808
		9999999999999000000_10000000000001000000 18446744030758878681_18446744030760878681
		18446744073699551615_18446744073709551615"
	for range in $ranges; do
		range=${range/_/ }
		"$PRIMES" $range >out
		primesieve $range -p >want
		cmp out want || { echo "quarn-primes $range differs"; return 1; }
	done
}

@test "one CPU and every CPU give the same bytes" {
	command -v taskset >/dev/null || skip "taskset not installed"
	[ -z "${EMULATED:-}" ] || skip "the emulator's CPUs are the host's"
	for range in "0 30000000" "9007199000000000 9007199254740991" \
		"18446744073509551615 18446744073709551615"; do
		"$PRIMES" $range >all
		taskset -c 0 "$PRIMES" $range >one
		cmp all one || { echo "quarn-primes $range differs on one CPU"; return 1; }
	done
}

@test "one CPU reported starts no thread; more give the same bytes" {
	needs_shim
	top="18446744073609551615_18446744073709551615"
	[ -z "${EMULATED:-}" ] || top=
	for range in "0_30000000" "9007199000000000_9007199254740991" $top; do
		range=${range/_/ }
		THREADS_STARTED=$PWD/threads with_cpus 1 "$PRIMES" $range >one
		[ "$(cat threads)" = 0 ] || { echo "quarn-primes $range: threads on one CPU"; return 1; }
		for n in 3 64 128; do
			THREADS_STARTED=$PWD/threads with_cpus $n "$PRIMES" $range >many
			cmp one many || { echo "quarn-primes $range differs on $n CPUs"; return 1; }
			[ "$(cat threads)" -gt 0 ]
		done
		# Threads that cannot be started are done without.
		THREADS_STARTED=$PWD/threads FAIL_THREADS=1 with_cpus 64 "$PRIMES" $range >many
		cmp one many || { echo "quarn-primes $range differs without threads"; return 1; }
		[ "$(cat threads)" = 0 ]
	done
}

@test "a failed write or a broken pipe stops every thread of many" {
	needs_shim
	range="1000000000000000 1000008000000000"
	if [ -w /dev/full ] && [ -z "${EMULATED:-}" ]; then
		got=0
		with_cpus 64 "$PRIMES" 18446744073509551615 18446744073709551615 >/dev/full 2>err ||
			got=$?
		[ "$got" = 1 ]
		[ "$(cat err)" = "quarn-primes: write error: No space left on device" ]
	fi
	if [ -w /dev/full ]; then
		got=0
		with_cpus 64 "$PRIMES" $range >/dev/full 2>err || got=$?
		[ "$got" = 1 ]
		[ "$(cat err)" = "quarn-primes: write error: No space left on device" ]
	fi
	# With SIGPIPE ignored the lister sees the broken pipe and reports it.
	got=$(trap '' PIPE; with_cpus 64 "$PRIMES" $range 2>err | head -c 1000000 >out;
		echo "${PIPESTATUS[0]}")
	[ "$got" = 1 ]
	[ "$(cat err)" = "quarn-primes: write error: Broken pipe" ]
	"$PRIMES" 1000000000000000 1000000100000000 | head -c 1000000 >want
	cmp out want
}

# quota_run SETUP: the lister on 0 ... 30000000 with 64 CPUs reported, in
# a private mount namespace after the shell commands SETUP, which see the
# lister's arguments; the threads it started in the file threads.
quota_run() {
	THREADS_STARTED=$PWD/threads REPORTED_CPUS=64 \
		ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
		unshare -m sh -c "$1"' && LD_PRELOAD=$0 exec "$@"' "$REPORT_CPUS" "$PRIMES" 0 30000000 >got
}

@test "a CPU quota of cgroup v2 or v1 bounds the threads; of one CPU, none" {
	needs_shim
	[ -z "${EMULATED:-}" ] || skip "the quota would be read by the emulator's host"
	[ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null || skip "needs root and mount namespaces"
	THREADS_STARTED=$PWD/threads with_cpus 64 "$PRIMES" 0 30000000 >want
	all=$(cat threads)
	[ "$all" -gt 2 ] || skip "a quota of three CPUs or fewer applies already"
	v2=$(sed -n 's/^0:://p' /proc/self/cgroup)
	if [ -n "$v2" ]; then
		for quota in "100000 100000:0" "250000 100000:2" "149999 100000:0"; do
			quota_run "mount -t tmpfs quota /sys/fs/cgroup && mkdir -p /sys/fs/cgroup$v2 &&
				echo '${quota%:*}' >/sys/fs/cgroup$v2/cpu.max"
			cmp want got
			[ "$(cat threads)" = "${quota#*:}" ] || { echo "v2 $quota: $(cat threads)"; return 1; }
		done
	fi
	# The cpu controller of cgroup v1, where mounted from its root.
	point=$(awk '$(NF - 2) == "cgroup" && $NF ~ /(^|,)cpu(,|$)/ && $4 == "/" { print $5; exit }' \
		/proc/self/mountinfo)
	v1=$(awk -F: '$2 ~ /(^|,)cpu(,|$)/ { print $3; exit }' /proc/self/cgroup)
	[ -n "$point" ] && [ -n "$v1" ] || skip "no cgroup v1 cpu controller mounted"
	for quota in "100000 100000:0" "-1 100000:$all" "200000 50000:3"; do
		q=${quota%:*}
		quota_run "mount -t tmpfs quota $point && mkdir -p $point$v1 &&
			echo ${q% *} >$point$v1/cpu.cfs_quota_us && echo ${q#* } >$point$v1/cpu.cfs_period_us"
		cmp want got
		[ "$(cat threads)" = "${quota#*:}" ] || { echo "v1 $quota: $(cat threads)"; return 1; }
	done
}

@test "memory that cannot be mapped is reported before anything is written" {
	[ -z "${EMULATED:-}" ] || skip "the limit would bind the emulator"
	# The smallest limit under which a short job runs, in steps of 256 KB.
	limit=1024
	until (ulimit -v $limit; "$PRIMES" 1000 >/dev/null 2>&1); do
		limit=$((limit + 256))
		[ $limit -le 65536 ] || skip "runs under no limit below 64 MB (a sanitizer build?)"
	done
	# Near 2^53 and 2^64 the job needs some 20 MB more.
	for range in "9007199000000000 9007199254740991" "18446744073509551615 18446744073709551615"; do
		got=0
		(ulimit -v $((limit + 2048)); "$PRIMES" $range >out 2>err) || got=$?
		outcome "quarn-primes $range under ulimit -v $((limit + 2048))" "$got" 1 "" \
			"quarn-primes: Cannot allocate memory"
	done
}

@test "pieces listed apart with GNU parallel join into the whole" {
	command -v parallel >/dev/null || skip "GNU parallel not installed"
	[ -z "${EMULATED:-}" ] || skip "a recipe of whole programs, slow to emulate"
	# As the README has it, on this machine, pieces of 10^8: the twin
	# pipeline starts each piece after the first 2 below its boundary.
	seq 0 9 | PRIMES=$PRIMES parallel --will-cite -k -j 2 -S : \
		'"$PRIMES" $(( {} * 100000000 )) $(( ({} + 1) * 100000000 - 1 ))' >pieces
	"$PRIMES" 999999999 >whole
	cmp pieces whole
	seq 0 9 | PRIMES=$PRIMES TWIN=$TWIN parallel --will-cite -k -j 2 -S : \
		'"$PRIMES" $(( {} * 100000000 - ({} > 0) * 2 )) $(( ({} + 1) * 100000000 - 1 )) | "$TWIN"' >pieces
	"$PRIMES" 999999999 | "$TWIN" >whole
	cmp pieces whole
	[ "$(wc -l <whole)" = 3424506 ]
	# Counted instead of stored: each piece's count, added up in any order.
	count=$(seq 0 9 | PRIMES=$PRIMES parallel --will-cite -j 2 -S : \
		'"$PRIMES" $(( {} * 100000000 )) $(( ({} + 1) * 100000000 - 1 )) | wc -l' |
		awk '{ n += $1 } END { printf "%.0f\n", n }')
	[ "$count" = 50847534 ]
	count=$(seq 0 9 | PRIMES=$PRIMES TWIN=$TWIN parallel --will-cite -j 2 -S : \
		'"$PRIMES" $(( {} * 100000000 - ({} > 0) * 2 )) $(( ({} + 1) * 100000000 - 1 )) | "$TWIN" | wc -l' |
		awk '{ n += $1 } END { printf "%.0f\n", n }')
	[ "$count" = 3424506 ]
}

@test "a closed pipe ends the largest ranges at once" {
	# Ended by the signal (128 + 13), not by the time limit (124).
	status=$(timeout 20 "$PRIMES" 18446744073709551615 | head -n 3 >out; echo "${PIPESTATUS[0]}")
	[ "$status" = 141 ]
	[ "$(cat out)" = $'2\n3\n5' ]
	[ -z "${EMULATED:-}" ] || return 0
	status=$(timeout 60 "$PRIMES" 18446744073609551615 18446744073709551615 | head -n 1 >out;
		echo "${PIPESTATUS[0]}")
	[ "$status" = 141 ]
	[ "$(cat out)" = 18446744073609551621 ]
}

@test "a failed write is reported and exits 1" {
	[ -w /dev/full ] || skip "no /dev/full"
	for stop in 100 100000000; do
		got=0
		"$PRIMES" $stop >/dev/full 2>err || got=$?
		[ "$got" = 1 ]
		[ "$(cat err)" = "quarn-primes: write error: No space left on device" ]
	done
}

@test "the twin pairs of the primes it lists" {
	"$PRIMES" 1000000 | "$TWIN" >out
	[ "$(wc -l <out)" = 8169 ]
	[ "$(head -n 3 out)" = $'3 5\n5 7\n11 13' ]
	[ "$(tail -n 1 out)" = "999959 999961" ]
}
