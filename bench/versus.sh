#!/usr/bin/env bash
# Times the workloads of run.sh that quarn's own programs run, this build's
# programs against those of another build, side by side: for a change that
# must leave the speed as it was.  RUNS as in run.sh.
#
#	bench/versus.sh OTHER_BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 1 ] && [ -x "$1/quarn-around" ] || { echo "usage: bench/versus.sh OTHER_BUILD_DIR" >&2; exit 2; }
other=$(cd "$1" && pwd)
runs=${RUNS:-11}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake -S . -B build -DQUARN_BENCH=ON >/dev/null
cmake --build build -j2 >/dev/null

# versus RUNS PROGRAM ARGS ...: the program of this build against the
# other's; with pin=CPU set, both on that CPU alone.
versus() {
	local n=$1 prog=$2 a b ratio pre=()
	shift 2
	[ -n "${pin:-}" ] && pre=(taskset -c "$pin")
	read -r a b ratio < <(build/bench/pair "$n" "${pre[@]}" "build/$prog" "$@" \
		--vs "${pre[@]}" "$other/$prog" "$@")
	printf '  %-60s %8.4f s %8.4f s  %.3f\n' "${pre[*]} $prog $*" "$a" "$b" "$ratio"
}

printf '  %-60s %10s %10s  %s\n' workload this other ratio
versus "$runs" quarn-around 1-2000000
versus "$runs" quarn-around 99999900000000-99999900099999
versus "$runs" quarn-around 99999900000000-99999900999999
versus "$runs" quarn-around 999999000000-999999999999
versus "$runs" quarn-around 1-10000000
for end in 99999999999999 9999999999999; do
	for len in 48 100 300 1000; do
		versus $((3 * runs)) quarn-around $((end - len + 1))-$end
	done
done
versus $((3 * runs)) quarn-around 1-40
versus $((3 * runs)) quarn-around 99999999999973
for c in 99999999999973 31415926535897 9999999999971 2718281828459; do
	versus $((3 * runs)) quarn-around "$c"
done
awk 'BEGIN { srand(20261208); for (i = 0; i < 100; i++)
	printf "%.0f\n", 1e13 + int(rand() * 8.99999e13) } END { print 0 }' >"$tmp/answers"
versus "$runs" quarn-around "<" "$tmp/answers"
top="9007199000000000 9007199254740991"
versus "$runs" quarn-primes 1e9
pin=0 versus "$runs" quarn-primes 1e9
versus "$runs" quarn-primes $top
pin=0 versus "$runs" quarn-primes $top
versus $((3 * runs)) quarn-primes 1000
$other/quarn-primes 1e9 >"$tmp/primes"
versus "$runs" quarn-twin "<" "$tmp/primes"
pin=0 versus "$runs" quarn-twin "<" "$tmp/primes"
