#!/usr/bin/env bash
# Measures the speed and memory goals side by side and prints each ratio
# with its goal.  It also writes the whole record, as Markdown, into
# doc/performance.md (RECORD=FILE writes it there instead), keeping the
# part of that file written by hand below its marker line.  RUNS sets the
# number of alternating runs (default 11; three times as many for the
# short workloads).
set -euo pipefail
[ -z "${RECORD:-}" ] || RECORD=$(realpath -m "$RECORD")
cd "$(dirname "$0")/.."
runs=${RUNS:-11}
record=${RECORD:-doc/performance.md}
marker='<!-- Written by hand from here on: bench/run.sh keeps this part as it is. -->'
tmp=$(mktemp -d)
md=$tmp/record
table='' ours_as='' theirs_as=''
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

# The heads of the record's tables, by the kind of their rows.
declare -A heads=(
	[pair]='| command | time | compared with | time | ratio | goal |'
	[kernel]='| input | kernel, per candidate | reference loop | ratio | goal |'
	[windows]='| windows | quarn-around, average | `factor`, average | median ratio | quartiles | goal |'
	[rss]='| command | peak RSS |'
	[quota]='| quota of one CPU, 64 CPUs reported | threads started | output |'
)

# row KIND ROW: a row of the record, under a new table head where the row
# before it was of another kind or text came between.
row() {
	if [ "$table" != "$1" ]; then
		printf '\n%s\n%s\n' "${heads[$1]}" "$(sed 's/[^|]\{1,\}/---/g' <<<"${heads[$1]}")" >>"$md"
		table=$1
	fi
	printf '%s\n' "$2" >>"$md"
}

# say TEXT: a paragraph of the record.
say() {
	printf '\n%s\n' "${1//<=/≤}" >>"$md"
	table=
}

# heading TEXT: a section of the report and of the record.
heading() {
	echo "$1"
	printf '\n## %s\n' "${1//<=/≤}" >>"$md"
	table=
}

# note TEXT: a line of the report and a paragraph of the record.
note() {
	echo "   $1"
	say "$1"
}

# code TEXT: TEXT as code in the record, without the build's directories,
# the temporary directory and seq's format.
code() {
	local s=${1//build\/bench\//bench/}
	s=${s//build\//}
	s=${s//$tmp\//}
	s=${s//seq -f %.0f/seq}
	printf '`%s`' "${s//|/\\|}"
}

# secs SECONDS: a time for the record to three figures, in ms below 0.1 s.
secs() {
	awk -v t="$1" 'BEGIN { u = "s"; if (t < 0.1) { t *= 1000; u = "ms" }
		printf(t >= 100 ? "%.0f %s" : t >= 10 ? "%.1f %s" : t >= 1 ? "%.2f %s" : "%.3f %s", t, u) }'
}

# goal GOAL: a goal for the record; "-" for none.
goal() {
	[ "$1" = - ] || printf '≤ %s' "$1"
}

# side_by_side GOAL RUNS COMMAND ... --vs COMMAND ...: alternating runs of
# both, each started as a shell starts a command but without a shell of
# its own; prints the medians and their ratio, and records them, the
# commands shown as ours_as and theirs_as say where these are set.  "|"
# joins a pipeline.
side_by_side() {
	local goal=$1 n=$2 a b ratio all
	shift 2
	read -r a b ratio < <(build/bench/pair "$n" "$@")
	all="$*"
	local ours=${all%% --vs *} theirs=${all#* --vs }
	printf '  %-52s %9.4f s\n  %-52s %9.4f s\n' "$ours" "$a" "$theirs" "$b"
	printf '  ratio %.3f (goal <= %s)\n\n' "$ratio" "$goal"
	row pair "| ${ours_as:-$(code "$ours")} | $(secs "$a") | ${theirs_as:-$(code "$theirs")} | $(secs "$b") | $(printf %.3f "$ratio") | $(goal "$goal") |"
	ours_as='' theirs_as=''
}

# seq_factor A B: the general-purpose factorer on the numbers A ... B.
seq_factor() {
	echo seq -f %.0f "$1" "$2" "|" factor
}

peak_rss() {
	/usr/bin/time -v -o "$tmp/rss" "$@" >/dev/null
	awk -F': ' '/Maximum resident set size/ { print $2 }' "$tmp/rss"
}

# rss TEXT KB: a peak RSS in the report and the record; TEXT as the record
# shows it.
rss() {
	local plain=${1//\`/}
	printf '  %-52s %6s KB\n' "${plain//\\|/|}" "$2"
	row rss "| $1 | $2 KB |"
}

# machine: the CPU model, the CPUs and the features that matter here.
machine() {
	local flags
	flags=" $(awk -F': ' '/^flags/ { print $2; exit }' /proc/cpuinfo) "
	printf '%s, %s CPUs' "$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)" "$(nproc)"
	[[ $flags != *" hypervisor "* ]] || printf ' (a virtual machine)'
	[[ $flags != *" avx512f "* ]] || printf ', AVX-512'
	[[ $flags != *" avx512_vbmi2 "* ]] || printf ' with VBMI2'
}

# intro: how the figures are taken, and on what, as the record opens.
intro() {
	local cxx
	cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build/CMakeCache.txt)
	cat <<EOT
# quarn: performance record

Every figure that \`bench/run.sh\` takes, from one run of it on one
machine. The script writes this file down to the part written by hand at
its end, which it keeps; the README quotes a few rows.

How the figures are taken: each row times two commands side by side
(\`bench/pair\`), in alternating runs after one warm-up of each, and gives
the median wall time of each and the ratio of the medians, quarn's over
the other's. Each command is started as a shell starts it, without a shell
of its own, and timed from its start to the end of its last process; its
output goes to \`/dev/null\`. \`seq\` is \`seq -f %.0f\`, and "one CPU" is
\`taskset -c 0\` on both sides. For the random windows the times are
averages over the 25 windows, and the ratio is the median of their 25
ratios. The goal is the figure that quarn aims at. Peak RSS is the
maximum resident set size that \`/usr/bin/time -v\` reports. To take the
figures again (needs the Debian packages libbenchmark-dev, primesieve-bin,
bc and time, and \`taskset\`):

    bench/run.sh

\`RUNS=N\` sets the number of runs, \`RECORD=FILE\` writes the record to
FILE instead of this file.

- Machine: $(machine)
- Date: $(date +%F)
- Built by: $("$cxx" --version | head -n 1)
- Source: $(git describe --always --dirty 2>/dev/null || echo unknown)
- Runs: $runs, $((3 * runs)) for the short workloads
EOT
}

echo "CPU: $(machine)"
echo
heading "1. Kernel time per wheel candidate (medians of $runs interleaved repetitions)"
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
			printf "%s %.3f %.3f %.3f\n", label[i], k * 1e9, r * 1e9, k / r
		}
	}' >"$tmp/kernel"
while read -r input k r ratio; do
	printf '  %-38s ours %s ns  reference %s ns  ratio %s (goal <= 1.0, stretch 0.5)\n' \
		"$input" "$k" "$r" "$ratio"
	row kernel "| $input | $k ns | $r ns | $ratio | ≤ 1.0, stretch 0.5 |"
done <"$tmp/kernel"
echo
heading "2. Small-number range"
side_by_side 1.00 "$runs" $around 1-2000000 --vs $(seq_factor 1 2000000)
heading "3. Ranges factored a block at a time, against a general-purpose factorer"
side_by_side 0.03 "$runs" $around 99999900000000-99999900099999 \
	--vs $(seq_factor 99999900000000 99999900099999)
side_by_side 0.015 "$runs" $around 99999900000000-99999900999999 \
	--vs $(seq_factor 99999900000000 99999900999999)
side_by_side 0.02 "$runs" $around 999999000000-999999999999 --vs $(seq_factor 999999000000 999999999999)
side_by_side 0.10 "$runs" $around 1-10000000 --vs $(seq_factor 1 10000000)
note "Short ranges ending near 10^14 and 10^13:"
for end in 99999999999999 9999999999999; do
	for len in 48 100 300 1000; do
		side_by_side 0.5 $((3 * runs)) $around $((end - len + 1))-$end \
			--vs $(seq_factor $((end - len + 1)) $end)
	done
done
note "The floor: a run that does no work, against the shortest of them:"
side_by_side - $((3 * runs)) $around 1-40 --vs $(seq_factor 99999999999952 99999999999999)
note "A window near the top:"
side_by_side 0.5 $((3 * runs)) $around 99999999999973 --vs $(seq_factor 99999999999963 99999999999983)
# windows DIGITS GOAL: quarn-around N against the factorer given N - 10 ...
# N + 10 as arguments, for 25 random N of DIGITS digits; the average times
# and the median ratio.
windows() {
	local lo n a b median q1 q3
	lo=$(echo "10^($1 - 1)" | bc)
	awk -v lo="$lo" -v seed="$1" 'BEGIN { srand(seed); for (i = 0; i < 25; i++)
		printf "%.0f\n", lo + 10 + int(rand() * (9 * lo - 30)) }' >"$tmp/centres"
	read -r n a b median q1 q3 < <(while read -r c; do
		build/bench/pair $((3 * runs)) $around "$c" --vs factor $(seq -f %.0f $((c - 10)) $((c + 10)))
	done <"$tmp/centres" | sort -k3 -g | awk '
		{ r[NR] = $3; a += $1; b += $2 }
		END {
			printf "%d %.2f %.2f %.3f %.3f %.3f\n", NR, a / NR * 1000, b / NR * 1000,
				r[int((NR + 1) / 2)], r[int(NR / 4) + 1], r[int(3 * NR / 4) + 1]
		}')
	printf '  %d random %d-digit windows: %s ms against %s ms on average\n' "$n" "$1" "$a" "$b"
	printf '  median ratio %s, quartiles %s and %s (goal <= %s)\n\n' "$median" "$q1" "$q3" "$2"
	row windows "| $n random $1-digit | $a ms | $b ms | $median | $q1 to $q3 | ≤ $2 |"
}
note "Random windows, against the factorer given their 21 numbers:"
windows 14 1.35
windows 13 1.0
note "Fixed cost of the block path near 10^14: 100 numbers less a run that does no work"
read -r a b _ < <(build/bench/pair $((3 * runs)) $around 99999999999900-99999999999999 \
	--vs $around 1-40)
fixed=$(printf '%.2f ms - %.2f ms = %.2f ms (goal <= 2.5 ms)' "$(echo "$a * 1000" | bc -l)" \
	"$(echo "$b * 1000" | bc -l)" "$(echo "($a - $b) * 1000" | bc -l)")
printf '  %s\n\n' "$fixed"
say "$fixed"
note "The dialogue: 100 random 14-digit numbers, against the general-purpose factorer on the 2100 numbers of their windows:"
awk 'BEGIN { srand(20261208); for (i = 0; i < 100; i++)
	printf "%.0f\n", 1e13 + int(rand() * 8.99999e13) }' >"$tmp/answers"
awk '{ for (d = -10; d <= 10; d++) printf "%.0f\n", $1 + d }' "$tmp/answers" >"$tmp/numbers"
echo 0 >>"$tmp/answers"
side_by_side 1.5 "$runs" $around "<" "$tmp/answers" --vs factor "<" "$tmp/numbers"
heading "4. The filter"
$primes 1e9 >"$tmp/primes"
note "On a file of the primes below 10^9 (502 MB), against counting its lines:"
side_by_side 2.0 "$runs" $twin "<" "$tmp/primes" --vs wc -l "<" "$tmp/primes"
note "Behind quarn's lister, against the cheapest reader of that pipe:"
side_by_side 1.15 "$runs" $primes 1e9 "|" $twin --vs $primes 1e9 "|" build/bench/pipe_floor
note "Behind primesieve, against primesieve alone:"
side_by_side 1.05 "$runs" primesieve 3e8 -p "|" $twin --vs primesieve 3e8 -p
note "The same beside other work, a loop that keeps one CPU busy:"
sh -c 'while :; do :; done' &
busy=$!
side_by_side 1.05 "$runs" primesieve 3e8 -p "|" $twin --vs primesieve 3e8 -p
kill "$busy"
busy=
note "The floor for any reader of that pipe, one that parses nothing:"
side_by_side - "$runs" primesieve 3e8 -p "|" build/bench/pipe_floor --vs primesieve 3e8 -p
heading "5. The prime lister, against primesieve's printing, on every CPU and on one"
top="9007199000000000 9007199254740991"
side_by_side 0.08 "$runs" $primes 1e9 --vs primesieve 1e9 -p
side_by_side 0.11 "$runs" taskset -c 0 $primes 1e9 --vs taskset -c 0 primesieve 1e9 -p
# Near 2^53, where the filter's range ends, and near the top of the
# lister's range, 2^64 - 1: the last 2.5·10^8 and 2·10^8 numbers.
top64="18446744073509551615 18446744073709551615"
side_by_side 0.40 "$runs" $primes $top --vs primesieve $top -p
side_by_side 0.55 "$runs" taskset -c 0 $primes $top --vs taskset -c 0 primesieve $top -p
side_by_side 0.50 "$runs" $primes $top64 --vs primesieve $top64 -p
side_by_side 0.80 "$runs" taskset -c 0 $primes $top64 --vs taskset -c 0 primesieve $top64 -p
side_by_side 1.0 $((3 * runs)) $primes 1000 --vs primesieve 1000 -p
note "The first line near 2^53 and near 2^64 (a shell on each side, for the pipe):"
ours_as=$(code "$primes $top | head -n 1") theirs_as=$(code "primesieve $top -p | head -n 1")
side_by_side 1.0 $((3 * runs)) sh -c "$primes $top | head -n 1" \
	--vs sh -c "primesieve $top -p | head -n 1"
ours_as=$(code "$primes $top64 | head -n 1") theirs_as=$(code "primesieve $top64 -p | head -n 1")
side_by_side 1.0 "$runs" sh -c "$primes $top64 | head -n 1" \
	--vs sh -c "primesieve $top64 -p | head -n 1"
note "The twin pairs below 10^9, behind each lister:"
side_by_side 0.40 "$runs" $primes 1e9 "|" $twin --vs primesieve 1e9 -p "|" $twin
pairs=$($primes 1e9 | $twin | wc -l)
pairs="$pairs ($([ "$pairs" = 3424506 ] && echo as known || echo "WRONG: 3424506 known"))"
printf '  twin pairs below 10^9: %s\n' "$pairs"
say "Twin pairs below 10^9: $pairs."
# The smallest address-space limit, to 64 KB, under which 1e9 runs.
lo=0 hi=65536
while [ $((hi - lo)) -gt 64 ]; do
	mid=$(((lo + hi) / 2))
	if (ulimit -v $mid && $primes 1e9 >/dev/null 2>&1); then hi=$mid; else lo=$mid; fi
done
printf '  smallest ulimit -v under which quarn-primes 1e9 runs: %s KB (goal <= 12288 KB)\n\n' "$hi"
say "The smallest \`ulimit -v\` under which \`quarn-primes 1e9\` runs, to 64 KB: $hi KB (goal <= 12288 KB)."
heading "6. Peak RSS (goal < 4096 KB; for the block ranges <= 8192 KB)"
for arg in 99999999999973 99999640000243 99999999999800-99999999999999 1-2000000 1-10000000 \
	999999000000-999999999999 99999900000000-99999900999999 99999900000000-99999901999999; do
	rss "$(code "$around $arg")" "$(peak_rss $around $arg)"
done
rss "\`quarn-around <\` the dialogue above (goal ≤ 12288 KB)" "$(peak_rss $around <"$tmp/answers")"
primesieve 3e8 -p | /usr/bin/time -v -o "$tmp/rss" $twin >/dev/null
rss "$(code "primesieve 3e8 -p | quarn-twin")" \
	"$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$tmp/rss")"
rss "\`quarn-twin <\` the primes below 10^9" "$(peak_rss $twin <"$tmp/primes")"
rm "$tmp/primes"
note "The prime lister (goal <= 8192 KB while the stop is at most 10^12):"
for range in 1000 1e9 999000000000-1000000000000; do
	rss "$(code "$primes $range")" "$(peak_rss $primes $range)"
done
note "Near 2^53, all threads (goal <= 32768 KB), and near 2^64 (goal <= 98304 KB); primesieve for comparison:"
rss "$(code "$primes $top")" "$(peak_rss $primes $top)"
rss "$(code "primesieve $top -p")" "$(peak_rss primesieve $top -p)"
rss "$(code "$primes $top64")" "$(peak_rss $primes $top64)"
rss "$(code "taskset -c 0 $primes $top64")" "$(peak_rss taskset -c 0 $primes $top64)"
rss "$(code "primesieve $top64 -p")" "$(peak_rss primesieve $top64 -p)"
heading "7. On a machine it does not own: 64 CPUs reported by a preloaded sched_getaffinity, against 2 reported, on the $(nproc) CPUs here"
say "The lister counts the CPUs it may use as \`nproc\` does, so that a
container under a CPU quota gets as many threads as the quota grants.
Where more CPUs are reported than the kernel runs it on, it should keep its
pace: a preloaded \`sched_getaffinity\` (\`tests/report_cpus.cpp\`) reports
64 CPUs, and each command is timed side by side with 2 reported."
shim=build/tests/libreport_cpus.so far="1000000000000000 1000008000000000"
# reported N: the words that make the lister see N CPUs.
reported() {
	echo env REPORTED_CPUS="$1" LD_PRELOAD="$shim"
}
ours_as="$(code "$primes 1e9"), 64 CPUs reported" theirs_as="the same, 2 reported"
side_by_side 1.15 "$runs" $(reported 64) $primes 1e9 --vs $(reported 2) $primes 1e9
ours_as="$(code "$primes $top64"), 64 CPUs reported" theirs_as="the same, 2 reported"
side_by_side 1.15 "$runs" $(reported 64) $primes $top64 --vs $(reported 2) $primes $top64
for n in 64 2; do
	full[$n]="$(reported $n) $primes $far >/dev/full 2>/dev/null; [ \$? = 1 ]"
	head[$n]="$(reported $n) $primes $far | head -c 4194304"
	broken[$n]="trap '' PIPE; $(reported $n) $primes $far 2>/dev/null | head -c 1000000"
done
note "A failed write, the first 4 MiB, and a broken pipe with SIGPIPE ignored, near 10^15:"
ours_as="$(code "$primes $far >/dev/full"), 64 reported" theirs_as="the same, 2 reported"
side_by_side 2.0 $((3 * runs)) sh -c "${full[64]}" --vs sh -c "${full[2]}"
ours_as="$(code "$primes $far | head -c 4194304"), 64 reported" theirs_as="the same, 2 reported"
side_by_side 2.0 $((3 * runs)) sh -c "${head[64]}" --vs sh -c "${head[2]}"
ours_as="$(code "$primes $far | head -c 1000000"), SIGPIPE ignored, 64 reported"
theirs_as="the same, 2 reported"
side_by_side 2.0 $((3 * runs)) sh -c "${broken[64]}" --vs sh -c "${broken[2]}"
note "Peak RSS (goal <= 96 MB):"
for n in 64 128; do
	for range in "$far" "9007190000000000 9007199254740991" "$top64"; do
		rss "$(code "$primes $range"), $n CPUs reported" "$(peak_rss $(reported $n) $primes $range)"
	done
done
note "A CPU quota of one CPU, 64 reported: threads started (goal 0), and the output:"
# quota LABEL SETUP: the lister on 0 ... 10^8 with 64 CPUs reported, in a
# private mount namespace after the commands SETUP; the threads it started
# and whether it wrote what it writes without a quota.
quota() {
	local threads same
	THREADS_STARTED=$tmp/threads unshare -m sh -c "$2"' && exec env REPORTED_CPUS=64 LD_PRELOAD="$0" "$@"' \
		"$shim" "$primes" 0 100000000 >"$tmp/quota"
	threads=$(cat "$tmp/threads")
	same=$(cmp -s "$tmp/quota" "$tmp/free" && echo the same || echo DIFFERENT)
	printf '  %-36s %s threads, output %s\n' "$1:" "$threads" "$same"
	row quota "| $1 | $threads | $same |"
}
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
	$primes 0 100000000 >"$tmp/free"
	v2=$(sed -n 's/^0:://p' /proc/self/cgroup)
	quota 'cgroup v2, cpu.max "100000 100000"' "mount -t tmpfs quota /sys/fs/cgroup &&
		mkdir -p /sys/fs/cgroup$v2 && echo '100000 100000' >/sys/fs/cgroup$v2/cpu.max"
	point=$(awk '$(NF - 2) == "cgroup" && $NF ~ /(^|,)cpu(,|$)/ && $4 == "/" { print $5; exit }' \
		/proc/self/mountinfo)
	v1=$(awk -F: '$2 ~ /(^|,)cpu(,|$)/ { print $3; exit }' /proc/self/cgroup)
	if [ -n "$point" ] && [ -n "$v1" ]; then
		quota 'cgroup v1, 100000 us of 100000' "mount -t tmpfs quota $point &&
			mkdir -p $point$v1 && echo 100000 >$point$v1/cpu.cfs_quota_us &&
			echo 100000 >$point$v1/cpu.cfs_period_us"
	else
		echo "  cgroup v1: no cpu controller mounted"
		say "cgroup v1: no cpu controller mounted."
	fi
else
	echo "  (needs root and mount namespaces)"
	say "(Not measured: needs root and mount namespaces.)"
fi

# The record: how the figures are taken, this run's, and the part written
# by hand, kept from the project's record.
{
	intro
	cat "$md"
	echo
	awk -v m="$marker" '$0 == m { on = 1 } on' doc/performance.md 2>/dev/null || true
} >"$tmp/performance.md"
mv "$tmp/performance.md" "$record"
echo "Record written to $record"
