#!/usr/bin/env bats
# Command-line and interactive behaviour of quarn-around.

AROUND=${AROUND:-build/quarn-around}
RESET_STDIN=${RESET_STDIN:-build/tests/reset_stdin}
CROSSOVERS=${CROSSOVERS:-build/tests/crossovers}
POS="quarn-around: Number must be a positive integer."
BIG="quarn-around: Number is too large."
PROMPT="Enter integer to factor around (0 to exit): "
USAGE="Usage: quarn-around number1 [number2]

Display prime factors of integers around the specified number.
Works on up to 14 digit integers.
A number range may be specified on the command line."

load helpers

setup() {
	cd "$BATS_TEST_TMPDIR"
}

# The lines for a ... b, from the system's general factoring tool.
lines() {
	seq "$1" "$2" | factor | awk '{
		line = $1; sub(":", " =", line); line = line " "
		for (i = 2; i <= NF; i += n) {
			n = 1
			while ($(i + n) == $i) n++
			line = line (i > 2 ? " * " : "") $i (n > 1 ? "^" n : "")
		}
		print line
	}'
}

# check STATUS STDOUT STDERR ARG...: run with the arguments, compare all three.
check() {
	local status=$1 out=$2 err=$3 got=0
	shift 3
	"$AROUND" "$@" >out 2>err </dev/null || got=$?
	outcome "args $(printf '[%s] ' "$@")" "$got" "$status" "$out" "$err"
}

# dialogue INPUT STATUS STDOUT STDERR: answer the prompts with INPUT.
dialogue() {
	local got=0
	printf '%b' "$1" | "$AROUND" >out 2>err || got=$?
	outcome "input $1" "$got" "$2" "$3" "$4"
}

@test "the oracle agrees with known lines" {
	[ "$(lines 1 1)" = "1 = " ]
	[ "$(lines 12 12)" = "12 = 2^2 * 3" ]
	[ "$(lines 210 210)" = "210 = 2 * 3 * 5 * 7" ]
}

@test "windows around one number" {
	check 0 "$(lines 2 22)" "" 12
	check 0 "$(lines 1 15)" "" 5
	check 0 "$(lines 1 10)" "" 0
	check 0 "$(lines 1 5)" "" -5
	check 0 "$(lines 1 15)" "" 5-
	check 0 "$(lines 2 22)" "" 12abc
	check 0 "$(lines 2 22)" "" " 12"
	check 0 "$(lines 2 22)" "" +12
	check 0 "$(lines 6 26)" "" 0x10
	check 0 "$(lines 1 20)" "" 1e1
	check 0 "$(lines 99999999999979 99999999999999)" "" 99999999999989
}

@test "ranges in one argument or two" {
	check 0 "$(lines 10 20)" "" 10-20
	check 0 "$(lines 10 20)" "" 10 20
	check 0 "$(lines 10 20)" "" 10-20x
	check 0 "$(lines 10 20)" "" 10 20x
	check 0 "$(lines 1 1)" "" 1-1
	check 0 "$(lines 99999999999999 99999999999999)" "" 99999999999999 99999999999999
	check 0 "$(lines 99999999999900 99999999999999)" "" 99999999999900-99999999999999
	check 0 "$(lines 1 5000)" "" 1-5000
	check 0 "$(lines 99999999980000 99999999999999)" "" 99999999980000 99999999999999
	check 0 "" "" 20-10
	check 0 "" "" 20 10
}

@test "lengths either side of each crossover between the two paths" {
	# The ends either side of each crossover and the top, each with the
	# shortest range factored a block at a time there, from the program.
	"$CROSSOVERS" >crossovers
	[ "$(wc -l <crossovers)" -ge 3 ]
	while read -r b n; do
		check 0 "$(lines $((b - n + 2)) "$b")" "" $((b - n + 2)) "$b"
		check 0 "$(lines $((b - n + 1)) "$b")" "" $((b - n + 1)) "$b"
	done <crossovers
}

@test "squares of primes at the end of windows, blocks and segments" {
	# 46411 is the last small prime, 46439 the first large one, 9999991
	# the last below 10^7, 3162277 the last of the kept list for 13 digits.
	check 0 "$(lines 99999820000061 99999820000081)" "" 99999820000071
	check 0 "$(lines 2153980874 2153980921)" "" 2153980874-2153980921
	check 0 "$(lines 2153964537 2153980921)" "" 2153964537 2153980921
	check 0 "$(lines 2156564337 2156580721)" "" 2156564337 2156580721
	check 0 "$(lines 1 17161)" "" 1-17161 # 131^2, two blocks
	# One segment and one number: the tail against the oracle.
	for s in 2156580721 99999820000081; do
		"$AROUND" $((s - 524288)) "$s" >all
		[ "$(wc -l <all)" = 524289 ]
		[ "$(tail -n 21 all)" = "$(lines $((s - 20)) "$s")" ]
	done
	dialogue "9999995824719 2153980911 15 99999820000071 2156580711 0" 0 \
		"$PROMPT$(lines 9999995824709 9999995824729)
$PROMPT$(lines 2153980901 2153980921)
$PROMPT$(lines 5 25)
$PROMPT$(lines 99999820000061 99999820000081)
$PROMPT$(lines 2156580701 2156580721)
$PROMPT" ""
}

@test "ends that are not positive integers exit 1" {
	check 1 "" "$POS" -50
	check 1 "" "$POS" 12.5
	check 1 "" "$POS" 0 5
	check 1 "" "$POS" -0 5
	check 1 "" "$POS" 3 -2
	check 1 "" "$POS" 10--20
	check 1 "" "$POS" 1 2.5
	check 1 "" "$POS" inf
	check 1 "" "$POS" nan
	check 1 "" "$POS" 1 -nan
	check 1 "" "$POS" 1e14 -1
}

@test "ends of 10^14 or more exit 1" {
	check 1 "" "$BIG" 99999999999990
	check 1 "" "$BIG" 1e14
	check 1 "" "$BIG" 1e300
	check 1 "" "$BIG" 100000000000000-5
	check 1 "" "$BIG" 1 100000000000000
	check 1 "" "$BIG" 99999999999999-1e14
}

@test "malformed command lines print the usage text" {
	check 1 "" "$USAGE" 10-20 30
	check 1 "" "$USAGE" 1 2 3
	check 1 "" "$USAGE" abc
	check 1 "" "$USAGE" ""
	check 1 "" "$USAGE" 10 abc
	check 1 "" "$USAGE" 10 ""
	check 1 "" "$USAGE" -
	check 1 "" "$USAGE" x12
}

@test "the usage text is exact to the byte" {
	"$AROUND" 1 2 3 2>err || true
	printf '%s\n' "Usage: quarn-around number1 [number2]" "" \
		"Display prime factors of integers around the specified number." \
		"Works on up to 14 digit integers." \
		"A number range may be specified on the command line." >want
	cmp err want
}

@test "a failed write is reported and exits 1" {
	[ -w /dev/full ] || skip "no /dev/full"
	check_full() {
		local got=0
		"$AROUND" "$@" >/dev/full 2>err || got=$?
		[ "$got" = 1 ]
		[ "$(cat err)" = "quarn-around: write error: No space left on device" ]
	}
	check_full 12
	check_full 1-200000
	got=0
	printf '12\n0\n' | "$AROUND" >/dev/full 2>err || got=$?
	[ "$got" = 1 ]
	grep -q '^quarn-around: write error: ' err
}

@test "the dialogue" {
	dialogue "12\n0\n" 0 "$PROMPT$(lines 2 22)
$PROMPT" ""
	dialogue "-50\n0\n" 0 "$PROMPT$PROMPT" "$POS"
	dialogue "99999999999990\n0\n" 0 "$PROMPT$PROMPT" "$BIG"
	dialogue "5 7\n0\n" 0 "$PROMPT$(lines 1 15)
$PROMPT$(lines 1 17)
$PROMPT" ""
	dialogue "\n\n  12\n0\n" 0 "$PROMPT$(lines 2 22)
$PROMPT" ""
	dialogue "12" 0 "$PROMPT$(lines 2 22)
$PROMPT" ""
	dialogue "0\n12\n" 0 "$PROMPT" ""
	dialogue "abc\n12\n" 0 "$PROMPT" ""
	# The rest of a line is the next answer: abc ends the dialogue.
	dialogue "12abc\n13\n" 0 "$PROMPT$(lines 2 22)
$PROMPT" ""
	dialogue "12 abc 13\n" 0 "$PROMPT$(lines 2 22)
$PROMPT" ""
	dialogue "" 0 "$PROMPT" ""
	dialogue "1e1 0x10 0" 0 "$PROMPT$(lines 1 20)
$PROMPT$(lines 6 26)
$PROMPT" ""
	# Large answers are factored a block at a time from one listing.
	dialogue "99999999999973 10000000019 99991 99999999999989 0" 0 \
		"$PROMPT$(lines 99999999999963 99999999999983)
$PROMPT$(lines 10000000009 10000000029)
$PROMPT$(lines 99981 100001)
$PROMPT$(lines 99999999999979 99999999999999)
$PROMPT" ""
}

@test "a failed read ends the dialogue with status 1" {
	got=0
	"$AROUND" </ >out 2>err || got=$?
	[ "$got" = 1 ]
	[ "$(cat out)" = "$PROMPT" ]
	[ "$(cat err)" = "quarn-around: read error: Is a directory" ]

	# The reset cuts off the second answer: no window may be printed for it.
	got=0
	"$RESET_STDIN" "12
1" "$AROUND" >out 2>err || got=$?
	outcome "reset after 12 and 1" "$got" 1 "$PROMPT$(lines 2 22)
$PROMPT" "quarn-around: read error: Connection reset by peer"
}

@test "the prompt reaches a pipe before the program waits for input" {
	mkfifo in
	"$AROUND" <in >out 2>&1 &
	pid=$!
	exec 5>in
	for _ in $(seq 100); do
		[ "$(cat out)" = "$PROMPT" ] && break
		sleep 0.05
	done
	got=$(cat out)
	echo 0 >&5
	exec 5>&-
	wait "$pid"
	[ "$got" = "$PROMPT" ]
}
