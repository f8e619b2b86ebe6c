#!/usr/bin/env bash
# Measures the speed and memory goals side by side and prints each ratio
# with its goal.  RUNS sets the number of alternating runs (default 11).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-11}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for tool in primesieve factor seq /usr/bin/time; do
	command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
cmake -S . -B build -DQUARN_BENCH=ON >/dev/null
cmake --build build -j2 >/dev/null
around=build/quarn-around
twin=build/quarn-twin

median() {
	sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# Wall time of one shell command, in seconds.
wall() {
	local t0 t1
	t0=$(date +%s%N)
	bash -c "$1"
	t1=$(date +%s%N)
	echo "($t1 - $t0) / 1000000000" | bc -l
}

# side_by_side GOAL OURS THEIRS: alternating runs, medians and their ratio.
side_by_side() {
	local goal=$1 ours=$2 theirs=$3 i
	: >"$tmp/a"
	: >"$tmp/b"
	for ((i = 0; i < runs; i++)); do
		wall "$ours" >>"$tmp/a"
		wall "$theirs" >>"$tmp/b"
	done
	local a b
	a=$(median <"$tmp/a")
	b=$(median <"$tmp/b")
	printf '  %-48s %8.3f s\n  %-48s %8.3f s\n' "$ours" "$a" "$theirs" "$b"
	printf '  ratio %.3f (goal <= %s)\n\n' "$(echo "$a / $b" | bc -l)" "$goal"
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
side_by_side 1.00 "$around 1-2000000 >/dev/null" "seq 1 2000000 | factor >/dev/null"
echo "3. Ranges factored a block at a time, against a general-purpose factorer"
side_by_side 0.03 "$around 99999900000000-99999900099999 >/dev/null" \
	"seq 99999900000000 99999900099999 | factor >/dev/null"
side_by_side 0.015 "$around 99999900000000-99999900999999 >/dev/null" \
	"seq 99999900000000 99999900999999 | factor >/dev/null"
side_by_side 0.02 "$around 999999000000-999999999999 >/dev/null" \
	"seq 999999000000 999999999999 | factor >/dev/null"
side_by_side 0.10 "$around 1-10000000 >/dev/null" "seq 1 10000000 | factor >/dev/null"
echo "   A window is factored number by number:"
side_by_side 1.5 "$around 99999999999973 >/dev/null" \
	"seq 99999999999963 99999999999983 | factor >/dev/null"
echo "4. Filter behind the prime lister"
side_by_side 1.15 "primesieve 3e8 -p | $twin >/dev/null" "primesieve 3e8 -p >/dev/null"
echo "   The floor for any reader of that pipe, one that parses nothing:"
side_by_side - "primesieve 3e8 -p | build/bench/pipe_floor" "primesieve 3e8 -p >/dev/null"
echo "5. Peak RSS (goal < 4096 KB; for the block ranges <= 8192 KB)"
printf '  quarn-around 99999999999973              %6s KB\n' "$(peak_rss $around 99999999999973)"
printf '  quarn-around 99999640000243              %6s KB\n' "$(peak_rss $around 99999640000243)"
printf '  quarn-around 99999999999800-99999999999999 %4s KB\n' "$(peak_rss $around 99999999999800-99999999999999)"
printf '  quarn-around 1-2000000                   %6s KB\n' "$(peak_rss $around 1-2000000)"
for range in 1-10000000 999999000000-999999999999 99999900000000-99999900999999 \
	99999900000000-99999901999999; do
	printf '  quarn-around %-30s %6s KB\n' "$range" "$(peak_rss $around $range)"
done
primesieve 3e8 -p | /usr/bin/time -v -o "$tmp/rss" $twin >/dev/null
printf '  primesieve 3e8 -p | quarn-twin           %6s KB\n' \
	"$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$tmp/rss")"
