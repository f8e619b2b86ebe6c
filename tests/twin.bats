#!/usr/bin/env bats
# Input handling and pairing of quarn-twin.

TWIN=${TWIN:-build/quarn-twin}
PRIMES=${PRIMES:-build/quarn-primes}
PIECES=${PIECES:-build/tests/pieces}
ERR="quarn-twin: Error in input number."

load helpers

setup() {
	cd "$BATS_TEST_TMPDIR"
}

# feed INPUT STATUS STDOUT STDERR: INPUT is a printf format, run through printf.
feed() {
	local got=0
	printf -- "$1" | "$TWIN" >out 2>err || got=$?
	outcome "input $1" "$got" "$2" "$3" "$4"
}

@test "pairs of neighbours that differ by 2" {
	feed '3\n5\n7\n11\n13\n17\n19\n23\n' 0 "3 5
5 7
11 13
17 19" ""
	feed '' 0 "" ""
	feed '2\n3\n5\n' 0 "3 5" ""
	feed '4\n6\n' 0 "4 6" ""
	feed '7\n5\n' 0 "" ""
	feed '3\n4\n5\n' 0 "" ""
	feed '3\n5' 0 "3 5" ""
	feed '3\r\n5\r\n' 0 "3 5" ""
	feed '13 17\n15\n' 0 "13 15" ""
	feed ' 13\n\t15\n' 0 "13 15" ""
	feed '+3\n5.0\n' 0 "3 5" ""
	feed '1e1\n12abc\n0xe\n' 0 "10 12
12 14" ""
	feed '3\n000000000000000000000000000000000000000000000005\n' 0 "3 5" ""
	feed '9007199254740989\n9007199254740991\n' 0 "9007199254740989 9007199254740991" ""
	feed '99999999999971\n99999999999973\n' 0 "99999999999971 99999999999973" ""
	feed '1\n3\n007\n009\n0\n2\n00\n2\n4\n06\n' 0 "1 3
7 9
0 2
0 2
2 4
4 6" ""
}

@test "the first value never pairs" {
	feed '0\n' 0 "" ""
	feed '-0\n' 0 "" ""
	feed '0\n2\n' 0 "0 2" ""
	feed '-0\n2\n' 0 "-0 2" ""
	feed '-1e-400\n2\n' 0 "-0 2" ""
}

@test "bad values end the run after the pairs found before them" {
	feed '\n' 1 "" "$ERR"
	feed '3\n5\n\n7\n' 1 "3 5" "$ERR"
	feed '3\n5\nabc\n' 1 "3 5" "$ERR"
	feed '3\n5\n-3\n' 1 "3 5" "$ERR"
	feed '3\n5\n2.5\n' 1 "3 5" "$ERR"
	feed '3\n5\n   \n' 1 "3 5" "$ERR"
	feed 'inf\n' 1 "" "$ERR"
	feed 'nan\n' 1 "" "$ERR"
	feed '1e400\n' 1 "" "$ERR"
	feed '\0\n' 1 "" "$ERR"
}

@test "lines over 48 characters are errors, never split" {
	digits48=$(printf '%048d' 5)
	feed "3\n$digits48\n" 0 "3 5" ""
	feed "3\n0$digits48\n" 1 "" "$ERR"
	feed "3\n$(printf '%049d' 5)" 1 "" "$ERR"
	feed "3\n$(printf '1%048d' 0)\n" 1 "" "$ERR"
	feed "3\n3$(printf '%48s' '')5\n" 1 "" "$ERR"
	feed "3\n5$(printf '%47s' '')\n" 0 "3 5" ""
	# A carriage return counts toward the 48, before a newline or at the end.
	feed "3\n$digits48\r\n" 1 "" "$ERR"
	feed "3\n$(printf '%047d' 5)\r\n" 0 "3 5" ""
	feed "3\n$(printf '%047d' 5)\r" 0 "3 5" ""
	feed "3\n$digits48\r" 1 "" "$ERR"
	feed "3\n5\n7$(printf '%200s' '')\n9\n" 1 "3 5" "$ERR"
}

@test "values above 2^53 - 1 are errors" {
	feed '9007199254740991\n' 0 "" ""
	feed '9007199254740992\n' 1 "" "$ERR"
	feed '9007199254740990\n9007199254740992\n' 1 "" "$ERR"
	feed '9007199254740993\n' 1 "" "$ERR"
	feed '1e16\n' 1 "" "$ERR"
	feed '1e300\n' 1 "" "$ERR"
}

@test "arguments and a terminal on standard input are refused" {
	usage="Usage: quarn-primes | quarn-twin

Filter for displaying only twin primes (primes that differ by 2)."
	got=0
	printf '3\n5\n' | "$TWIN" x >out 2>err || got=$?
	[ "$got" = 1 ]
	[ ! -s out ]
	[ "$(cat err)" = "$usage" ]

	got=0
	script -qec "$TWIN" /dev/null </dev/null >tty || got=$?
	[ "$got" = 1 ]
	[ "$(tr -d '\r' <tty)" = "$usage" ]
}

@test "failed reads and writes exit 1" {
	got=0
	"$TWIN" </ >out 2>err || got=$?
	[ "$got" = 1 ]
	[ "$(cat err)" = "quarn-twin: read error: Is a directory" ]

	[ -w /dev/full ] || skip "no /dev/full"
	got=0
	printf '3\n5\n' | "$TWIN" >/dev/full 2>err || got=$?
	[ "$got" = 1 ]
	[ "$(cat err)" = "quarn-twin: write error: No space left on device" ]
	got=0
	seq 1 2 2000001 | "$TWIN" >/dev/full 2>err || got=$?
	[ "$got" = 1 ]
	[ "$(cat err)" = "quarn-twin: write error: No space left on device" ]
}

@test "a read that fails partway still prints the pairs read before it" {
	[ -n "${FAIL_READ:-}" ] || skip "no read failure shim"
	# fail_after BYTES: the filter on stdin whose reads fail after BYTES.
	fail_after() {
		got=0
		LD_PRELOAD=$FAIL_READ FAIL_READ_AFTER=$1 \
			ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
			"$TWIN" >out 2>err || got=$?
	}
	# The incomplete last line, 9, is not a value.
	printf '3\n5\n7\n9\n' >in
	fail_after 7 <in
	outcome "3 5 7 9, failing after 7 bytes" "$got" 1 "3 5
5 7" "quarn-twin: read error: Input/output error"

	seq 1 2 200001 >in
	[ "$(head -c 500003 in | tail -c 1)" != "" ]
	head -c 500003 in | head -n -1 | awk 'NR > 1 { print $1 - 2, $1 }' >want
	cat in | fail_after 500003
	[ "$got" = 1 ]
	cmp out want
}

@test "lines that straddle read boundaries are read whole" {
	awk 'BEGIN {
		srand(7)
		for (v = 1; v < 2000000; v += rand() < 0.5 ? 2 : 4)
			printf "%0" int(rand() * 40) + length(v) "d\n", v
	}' >in
	awk 'NR > 1 && $1 + 0 == prev + 2 { print prev, $1 + 0 } { prev = $1 + 0 }' in >want
	[ "$(stat -c %s in)" -gt 4000000 ]
	"$TWIN" <in >out
	cmp out want
	cat in | "$TWIN" >out
	cmp out want
}

@test "agrees with a real prime lister" {
	command -v primesieve >/dev/null || skip "primesieve not installed"
	primesieve 1e7 -p | "$TWIN" >out
	primesieve 1e7 -p2 | tr -d '(,)' >want
	[ "$(wc -l <want)" = 58980 ]
	cmp out want
	primesieve 1e14 --dist=1e7 -p | "$TWIN" >out
	primesieve 1e14 --dist=1e7 -p2 | tr -d '(,)' >want
	cmp out want
}

# odd_list: primes-like values of every length, about one line in eight
# written otherwise (leading zeros up to 48 characters, a blank, a sign, a
# CR, text after the number), so that such lines fall at every place of a
# read and of a vector.
odd_list() {
	awk 'BEGIN {
		srand(11)
		zeros = sprintf("%048d", 0)
		for (i = 0; i < 3000; i++) {
			v += rand() < 0.5 ? 2 : 4 + 2 * int(rand() * 3)
			if (i % 200 == 199 && v < 5e14)
				v = v * 13 + 1
			s = sprintf("%.0f", v)
			r = rand()
			if (r < 0.05)
				s = substr(zeros, 1, 1 + int(rand() * (48 - length(s)))) s
			else if (r < 0.07)
				s = " " s
			else if (r < 0.09)
				s = "+" s
			else if (r < 0.11)
				s = s "\r"
			else if (r < 0.12)
				s = s " 1"
			print s
		}
	}'
}

# pairs_of: the pairs of the values of the input's lines.
pairs_of() {
	awk '{ x = $0 + 0 } NR > 1 && x == prev + 2 { printf "%.0f %.0f\n", prev, x } { prev = x }'
}

@test "input fed in pieces of 1, 7, 63 and 4097 bytes reads as whole" {
	odd_list >in
	pairs_of <in >want
	[ "$(wc -l <want)" -gt 500 ]
	[ "$(tail -n 1 in | wc -c)" -gt 16 ]
	"$TWIN" <in >out
	cmp out want
	for size in 1 7 63 4097; do
		got=0
		"$PIECES" $size "$TWIN" <in >out 2>err || got=$?
		outcome "pieces of $size" "$got" 0 "$(cat want)" ""
	done

	head -c -1 in >cut
	printf '%s' "$(tail -n 1 in)" | cmp - <(tail -n 1 cut)
	for size in 1 63; do
		got=0
		"$PIECES" $size "$TWIN" <cut >out 2>err || got=$?
		outcome "pieces of $size, no last newline" "$got" 0 "$(cat want)" ""
	done

	awk 'NR == 1777 { print "-3" } { print }' in >bad
	head -n 1776 in | pairs_of >want
	for size in 1 7 63 4097; do
		got=0
		"$PIECES" $size "$TWIN" <bad >out 2>err || got=$?
		outcome "pieces of $size, a bad line" "$got" 1 "$(cat want)" "$ERR"
	done
}

# Runs of one length whose digits but the last seven change: twins on
# either side of each change and across it, with a carry into those
# digits, 12 digits with leading zeros, and now and then a line whose last
# seven digits are 2 less than the next line's but whose others are not;
# then quarn-primes' own lines across 10^8, where their length changes.
@test "runs of one length across reads, pieces and changes of their leading digits" {
	awk 'BEGIN {
		for (p = 1; p <= 40; p++)
			for (v = p * 1e7 - 301; v < p * 1e7 + 300; v += v % 3 ? 2 : 4) {
				if (v % 50 < 2)
					printf "%012d\n", v - 2 + 5e7
				printf "%012d\n", v
			}
	}' >in
	"$PRIMES" 99800000 100200000 >>in
	pairs_of <in >want
	[ "$(wc -l <want)" -gt 5000 ]
	"$TWIN" <in >out
	cmp out want
	for size in 63 4097; do
		got=0
		"$PIECES" $size "$TWIN" <in >out 2>err || got=$?
		outcome "pieces of $size" "$got" 0 "$(cat want)" ""
	done
}
