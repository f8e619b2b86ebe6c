#!/usr/bin/env bash
# Measures the speed and memory goals side by side and prints each ratio
# with its goal.  RUNS sets the number of alternating runs (default 11;
# three times as many for the short workloads).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-11}
tmp=$(mktemp -d)
busy=
trap 'rm -rf "$tmp"; [ -z "$busy" ] || kill "$busy"' EXIT

for tool in primesieve factor seq bc taskset /usr/bin/time; do
	command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
cmake -S . -B build -DQUARN_BENCH=ON >/dev/null
cmake --build build -j2 >/dev/null
around=build/quarn-around
twin=build/quarn-twin
primes=build/quarn-primes

# side_by_side GOAL RUNS COMMAND ... --vs COMMAND ...: alternating runs of
# both, each started as a shell starts a command but without a shell of
# its own; prints the medians and their ratio.  "|" joins a pipeline.
side_by_side() {
	local goal=$1 n=$2 a b ratio all
	shift 2
	read -r a b ratio < <(build/bench/pair "$n" "$@")
	all="$*"
	local ours=${all%% --vs *} theirs=${all#* --vs }
	printf '  %-52s %9.4f s\n  %-52s %9.4f s\n' "$ours" "$a" "$theirs" "$b"
	printf '  ratio %.3f (goal <= %s)\n\n' "$ratio" "$goal"
}

# seq_factor A B: the general-purpose factorer on the numbers A ... B.
seq_factor() {
	echo seq -f %.0f "$1" "$2" "|" factor
}

peak_rss() {
	/usr/bin/time -v -o "$tmp/rss" "$@" >/dev/null
	awk -F': ' '/Maximum resident set size/ { print $2 }' "$tmp/rss"
}

echo "CPU: $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo), $(nproc) cores"
echo
echo "1. Kernel time per wheel candidate (medians of $runs interleaved repetitions)"
build/bench/kernel_bench --benchmark_repetitions="$runs" \
	--benchmark_enable_random_interleaving=true \
	--benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
	awk -F, '$1 ~ /_median"?$/ {
		name = $1; gsub(/"/, "", name); split(name, part, "/")
		input = part[2]; sub(/_median/, "", input)
		label[input] = $8; gsub(/"/, "", label[input])
		t[part[1], input] = $NF
	}
	END {
		for (i = 0; i <= 2; i++) {
			k = t["bm_kernel", i]; r = t["bm_reference", i]
			printf "  %-38s ours %.3f ns  reference %.3f ns  ratio %.3f (goal <= 1.0, stretch 0.5)\n",
				label[i], k * 1e9, r * 1e9, k / r
		}
	}'
echo
echo "2. Small-number range"
side_by_side 1.00 "$runs" $around 1-2000000 --vs $(seq_factor 1 2000000)
echo "3. Ranges factored a block at a time, against a general-purpose factorer"
side_by_side 0.03 "$runs" $around 99999900000000-99999900099999 \
	--vs $(seq_factor 99999900000000 99999900099999)
side_by_side 0.015 "$runs" $around 99999900000000-99999900999999 \
	--vs $(seq_factor 99999900000000 99999900999999)
side_by_side 0.02 "$runs" $around 999999000000-999999999999 --vs $(seq_factor 999999000000 999999999999)
side_by_side 0.10 "$runs" $around 1-10000000 --vs $(seq_factor 1 10000000)
echo "   Short ranges ending near 10^14 and 10^13:"
for end in 99999999999999 9999999999999; do
	for len in 48 100 300 1000; do
		side_by_side 0.5 $((3 * runs)) $around $((end - len + 1))-$end \
			--vs $(seq_factor $((end - len + 1)) $end)
	done
done
echo "   The floor: a run that does no work, against the shortest of them:"
side_by_side - $((3 * runs)) $around 1-40 --vs $(seq_factor 99999999999952 99999999999999)
echo "   A window near the top:"
side_by_side 0.5 $((3 * runs)) $around 99999999999973 --vs $(seq_factor 99999999999963 99999999999983)
# windows DIGITS GOAL: quarn-around N against the factorer given N - 10 ...
# N + 10 as arguments, for 25 random N of DIGITS digits; the median ratio.
windows() {
	local lo
	lo=$(echo "10^($1 - 1)" | bc)
	awk -v lo="$lo" -v seed="$1" 'BEGIN { srand(seed); for (i = 0; i < 25; i++)
		printf "%.0f\n", lo + 10 + int(rand() * (9 * lo - 30)) }' >"$tmp/centres"
	while read -r c; do
		build/bench/pair $((3 * runs)) $around "$c" --vs factor $(seq -f %.0f $((c - 10)) $((c + 10)))
	done <"$tmp/centres" | sort -k3 -g | awk -v d="$1" -v goal="$2" '
		{ r[NR] = $3; a += $1; b += $2 }
		END {
			printf "  %d random %d-digit windows: %.2f ms against %.2f ms on average\n", NR, d,
				a / NR * 1000, b / NR * 1000
			printf "  median ratio %.3f, quartiles %.3f and %.3f (goal <= %s)\n\n",
				r[int((NR + 1) / 2)], r[int(NR / 4) + 1], r[int(3 * NR / 4) + 1], goal
		}'
}
echo "   Random windows, against the factorer given their 21 numbers:"
windows 14 1.35
windows 13 1.0
echo "   Fixed cost of the block path near 10^14: 100 numbers less a run that does no work"
read -r a b _ < <(build/bench/pair $((3 * runs)) $around 99999999999900-99999999999999 \
	--vs $around 1-40)
printf '  %.2f ms - %.2f ms = %.2f ms (goal <= 2.5 ms)\n\n' "$(echo "$a * 1000" | bc -l)" \
	"$(echo "$b * 1000" | bc -l)" "$(echo "($a - $b) * 1000" | bc -l)"
echo "   The dialogue: 100 random 14-digit numbers, against the general-purpose"
echo "   factorer on the 2100 numbers of their windows:"
awk 'BEGIN { srand(20261208); for (i = 0; i < 100; i++)
	printf "%.0f\n", 1e13 + int(rand() * 8.99999e13) }' >"$tmp/answers"
awk '{ for (d = -10; d <= 10; d++) printf "%.0f\n", $1 + d }' "$tmp/answers" >"$tmp/numbers"
echo 0 >>"$tmp/answers"
side_by_side 1.5 "$runs" $around "<" "$tmp/answers" --vs factor "<" "$tmp/numbers"
echo "4. The filter"
$primes 1e9 >"$tmp/primes"
echo "   On a file of the primes below 10^9 (502 MB), against counting its lines:"
side_by_side 2.0 "$runs" $twin "<" "$tmp/primes" --vs wc -l "<" "$tmp/primes"
echo "   Behind quarn's lister, against the cheapest reader of that pipe:"
side_by_side 1.15 "$runs" $primes 1e9 "|" $twin --vs $primes 1e9 "|" build/bench/pipe_floor
echo "   Behind primesieve, against primesieve alone:"
side_by_side 1.05 "$runs" primesieve 3e8 -p "|" $twin --vs primesieve 3e8 -p
echo "   The same beside other work, a loop that keeps one CPU busy:"
sh -c 'while :; do :; done' &
busy=$!
side_by_side 1.05 "$runs" primesieve 3e8 -p "|" $twin --vs primesieve 3e8 -p
kill "$busy"
busy=
echo "   The floor for any reader of that pipe, one that parses nothing:"
side_by_side - "$runs" primesieve 3e8 -p "|" build/bench/pipe_floor --vs primesieve 3e8 -p
echo "5. The prime lister, against primesieve's printing, on every CPU and on one"
top="9007199000000000 9007199254740991"
side_by_side 0.08 "$runs" $primes 1e9 --vs primesieve 1e9 -p
side_by_side 0.11 "$runs" taskset -c 0 $primes 1e9 --vs taskset -c 0 primesieve 1e9 -p
side_by_side 0.40 "$runs" $primes $top --vs primesieve $top -p
side_by_side 0.55 "$runs" taskset -c 0 $primes $top --vs taskset -c 0 primesieve $top -p
side_by_side 1.0 $((3 * runs)) $primes 1000 --vs primesieve 1000 -p
echo "   The first line near 2^53 (a shell on each side, for the pipe):"
side_by_side 1.0 $((3 * runs)) sh -c "$primes $top | head -n 1" \
	--vs sh -c "primesieve $top -p | head -n 1"
side_by_side 0.40 "$runs" $primes 1e9 "|" $twin --vs primesieve 1e9 -p "|" $twin
pairs=$($primes 1e9 | $twin | wc -l)
printf '  twin pairs below 10^9: %s (%s)\n' "$pairs" \
	"$([ "$pairs" = 3424506 ] && echo as known || echo "WRONG: 3424506 known")"
# The smallest address-space limit, to 64 KB, under which 1e9 runs.
lo=0 hi=65536
while [ $((hi - lo)) -gt 64 ]; do
	mid=$(((lo + hi) / 2))
	if (ulimit -v $mid && $primes 1e9 >/dev/null 2>&1); then hi=$mid; else lo=$mid; fi
done
printf '  smallest ulimit -v under which quarn-primes 1e9 runs: %s KB (goal <= 12288 KB)\n\n' "$hi"
echo "6. Peak RSS (goal < 4096 KB; for the block ranges <= 8192 KB)"
printf '  quarn-around 99999999999973              %6s KB\n' "$(peak_rss $around 99999999999973)"
printf '  quarn-around 99999640000243              %6s KB\n' "$(peak_rss $around 99999640000243)"
printf '  quarn-around 99999999999800-99999999999999 %4s KB\n' "$(peak_rss $around 99999999999800-99999999999999)"
printf '  quarn-around 1-2000000                   %6s KB\n' "$(peak_rss $around 1-2000000)"
for range in 1-10000000 999999000000-999999999999 99999900000000-99999900999999 \
	99999900000000-99999901999999; do
	printf '  quarn-around %-30s %6s KB\n' "$range" "$(peak_rss $around $range)"
done
/usr/bin/time -v -o "$tmp/rss" $around <"$tmp/answers" >/dev/null
printf '  quarn-around, the dialogue above (goal <= 12288 KB) %6s KB\n' \
	"$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$tmp/rss")"
primesieve 3e8 -p | /usr/bin/time -v -o "$tmp/rss" $twin >/dev/null
printf '  primesieve 3e8 -p | quarn-twin           %6s KB\n' \
	"$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$tmp/rss")"
printf '  quarn-twin < the primes below 10^9       %6s KB\n' "$(peak_rss $twin <"$tmp/primes")"
rm "$tmp/primes"
echo "   The prime lister (goal <= 8192 KB while the stop is at most 10^12):"
for range in 1000 1e9 999000000000-1000000000000; do
	printf '  quarn-primes %-30s %6s KB\n' "$range" "$(peak_rss $primes $range)"
done
echo "   Near 2^53, all threads (goal <= 32768 KB; primesieve for comparison):"
printf '  quarn-primes %s %6s KB\n' "$top" "$(peak_rss $primes $top)"
printf '  primesieve %s -p %5s KB\n' "$top" "$(peak_rss primesieve $top -p)"
echo "7. On a machine it does not own: 64 CPUs reported by a preloaded sched_getaffinity,"
echo "   against 2 reported, on the $(nproc) CPUs here"
shim=build/tests/libreport_cpus.so far="1000000000000000 1000008000000000"
# reported N: the words that make the lister see N CPUs.
reported() {
	echo env REPORTED_CPUS="$1" LD_PRELOAD="$shim"
}
side_by_side 1.15 "$runs" $(reported 64) $primes 1e9 --vs $(reported 2) $primes 1e9
for n in 64 2; do
	full[$n]="$(reported $n) $primes $far >/dev/full 2>/dev/null; [ \$? = 1 ]"
	head[$n]="$(reported $n) $primes $far | head -c 4194304"
	broken[$n]="trap '' PIPE; $(reported $n) $primes $far 2>/dev/null | head -c 1000000"
done
echo "   A failed write, the first 4 MiB, and a broken pipe with SIGPIPE ignored, near 10^15:"
side_by_side 2.0 $((3 * runs)) sh -c "${full[64]}" --vs sh -c "${full[2]}"
side_by_side 2.0 $((3 * runs)) sh -c "${head[64]}" --vs sh -c "${head[2]}"
side_by_side 2.0 $((3 * runs)) sh -c "${broken[64]}" --vs sh -c "${broken[2]}"
echo "   Peak RSS (goal <= 96 MB):"
for n in 64 128; do
	for range in "$far" "9007190000000000 9007199254740991"; do
		printf '  %3s CPUs reported, quarn-primes %s %6s KB\n' "$n" "$range" \
			"$(peak_rss $(reported $n) $primes $range)"
	done
done
echo "   A CPU quota of one CPU, 64 reported: threads started (goal 0), and the output:"
# quota SETUP: the lister on 0 ... 10^8 with 64 CPUs reported, in a private
# mount namespace after the commands SETUP; the threads it started and
# whether it wrote what it writes without a quota.
quota() {
	THREADS_STARTED=$tmp/threads unshare -m sh -c "$1"' && exec env REPORTED_CPUS=64 LD_PRELOAD="$0" "$@"' \
		"$shim" "$primes" 0 100000000 >"$tmp/quota"
	printf '%s threads, output %s\n' "$(cat "$tmp/threads")" \
		"$(cmp -s "$tmp/quota" "$tmp/free" && echo the same || echo DIFFERENT)"
}
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
	$primes 0 100000000 >"$tmp/free"
	v2=$(sed -n 's/^0:://p' /proc/self/cgroup)
	printf '  cgroup v2, cpu.max "100000 100000": %s\n' "$(quota "mount -t tmpfs quota /sys/fs/cgroup &&
		mkdir -p /sys/fs/cgroup$v2 && echo '100000 100000' >/sys/fs/cgroup$v2/cpu.max")"
	point=$(awk '$(NF - 2) == "cgroup" && $NF ~ /(^|,)cpu(,|$)/ && $4 == "/" { print $5; exit }' \
		/proc/self/mountinfo)
	v1=$(awk -F: '$2 ~ /(^|,)cpu(,|$)/ { print $3; exit }' /proc/self/cgroup)
	if [ -n "$point" ] && [ -n "$v1" ]; then
		printf '  cgroup v1, 100000 us of 100000:      %s\n' "$(quota "mount -t tmpfs quota $point &&
			mkdir -p $point$v1 && echo 100000 >$point$v1/cpu.cfs_quota_us &&
			echo 100000 >$point$v1/cpu.cfs_period_us")"
	else
		echo "  cgroup v1: no cpu controller mounted"
	fi
else
	echo "  (needs root and mount namespaces)"
fi
