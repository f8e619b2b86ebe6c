#!/usr/bin/env bats
# .ci/deps, seen through stand-ins for apt-get, dpkg-query and sleep that
# record what they are asked and install nothing.

DEPS=${SOURCE_DIR:-$PWD}/.ci/deps
CI_DIR=$(dirname "$DEPS")
# What the suite uses, and CI's own tools, which the plain set must leave
# out and --ci must bring.
SUITE="cmake make g++ libgtest-dev bats bsdutils coreutils primesieve-bin parallel groff-base"
CI_TOOLS="clang libclang-rt-14-dev clang-tidy clang-format cppcheck git build-essential
dpkg-dev debhelper fakeroot lintian qemu-user
g++-s390x-linux-gnu g++-i686-linux-gnu g++-aarch64-linux-gnu"

setup() {
	cd "$BATS_TEST_TMPDIR"
	mkdir bin
	# The log holds one line per call: the command, its arguments and, for
	# apt-get, DEBIAN_FRONTEND.  INSTALLED lists the installed packages, or
	# is "all"; REMOVED those left with their configuration files only.
	# LOCKED=N makes the first N calls of apt-get fail on a lock, and
	# FAIL=text makes every call fail with that message.
	cat >bin/apt-get <<'EOF'
#!/bin/sh
echo "apt-get $* [DEBIAN_FRONTEND=$DEBIAN_FRONTEND]" >>"$LOG"
calls=$(grep -c '^apt-get ' "$LOG")
if [ "$calls" -le "${LOCKED:-0}" ]; then
	echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 1 (apt-get)" >&2
	exit 100
fi
[ -z "${FAIL:-}" ] || { echo "E: $FAIL" >&2; exit 100; }
EOF
	cat >bin/dpkg-query <<'EOF'
#!/bin/sh
for pkg; do :; done
echo "dpkg-query $pkg" >>"$LOG"
for p in ${REMOVED:-}; do
	[ "$p" != "$pkg" ] || { printf 'deinstall ok config-files'; exit 0; }
done
for p in ${INSTALLED:-}; do
	[ "$p" != all ] && [ "$p" != "$pkg" ] || { printf 'install ok installed'; exit 0; }
done
echo "dpkg-query: no packages found matching $pkg" >&2
exit 1
EOF
	cat >bin/sleep <<'EOF'
#!/bin/sh
echo "sleep $*" >>"$LOG"
EOF
	chmod +x bin/*
	export LOG=$PWD/log PATH=$PWD/bin:$PATH
	: >log
	unset INSTALLED REMOVED LOCKED FAIL QUARN_LOCK_WAIT DEBIAN_FRONTEND
}

# deps ARG...: run .ci/deps; its status in got, its output in out and err.
deps() {
	got=0
	"$DEPS" "$@" >out 2>err || got=$?
}

# asked: the packages of the apt-get install calls, one a line.
asked() {
	awk '$1 == "apt-get" && / install / {
		for (i = 2; i <= NF; i++)
			if ($i !~ /^-/ && $i !~ /^DPkg::/ && $i != "install" && $i !~ /^\[/) print $i
	}' log | sort
}

# not COMMAND...: succeeds where COMMAND fails ("! COMMAND" would not fail
# a test).
not() {
	! "$@"
}

# words TEXT: the words of TEXT, one a line, sorted.
words() {
	tr -s ' \n' '\n' <<<"$1" | grep . | sort
}

@test "with nothing installed, the plain set is the suite's and --ci adds every CI tool" {
	deps
	[ "$got" = 0 ] || { cat err; return 1; }
	[ "$(asked)" = "$(words "$SUITE")" ] || { asked; return 1; }

	: >log
	deps --ci
	[ "$got" = 0 ] || { cat err; return 1; }
	[ "$(asked)" = "$(words "$SUITE $CI_TOOLS")" ] || { asked; return 1; }
}

@test "both sets update, then install without questions or recommendations, waiting for the lock" {
	for args in "" --ci; do
		: >log
		deps $args
		[ "$got" = 0 ]
		grep '^apt-get' log >calls
		[ "$(awk '{ print $4 }' calls)" = $'update\ninstall' ] || { cat log; return 1; }
		# A few minutes, less what has passed.
		for timeout in $(grep -o 'DPkg::Lock::Timeout=[0-9]*' calls | cut -d= -f2); do
			[ "$timeout" -ge 240 ]
			[ "$timeout" -le 300 ]
		done
		[ "$(grep -c 'DPkg::Lock::Timeout=' calls)" = 2 ]
		[ "$(grep -c '\[DEBIAN_FRONTEND=noninteractive\]$' calls)" = 2 ]
		grep ' install ' calls | grep -q -- ' -y .*--no-install-recommends'
	done
}

@test "the sets agree with what the package build and the CI scripts name" {
	deps
	plain=$(asked)
	: >log
	deps --ci
	full=$(asked)
	# Build-Depends of the Debian package: the suite's, but debhelper,
	# which only the package build needs.
	build_depends=$(sed -n '/^Build-Depends:/,/^[A-Z]/p' "$SOURCE_DIR/debian/control" |
		sed 's/^Build-Depends://' | grep -o '^ *[a-z][a-z0-9.+-]*' | tr -d ' ')
	[ -n "$build_depends" ]
	for p in $build_depends; do
		if [ "$p" = debhelper-compat ]; then
			not grep -qx debhelper <<<"$plain" || { echo "plain set has debhelper"; return 1; }
			grep -qx debhelper <<<"$full" || { echo "--ci set lacks debhelper"; return 1; }
		else
			grep -qx "$p" <<<"$plain" || { echo "plain set lacks $p"; return 1; }
		fi
	done
	# Each cross build of .ci/cross needs its compiler, and qemu-user.
	triplets=$(awk '$1 == "cross" && NF > 3 { print $3 }' "$CI_DIR/cross")
	[ "$(wc -l <<<"$triplets")" = 3 ]
	for t in $triplets; do
		grep -qx "g++-$t" <<<"$full" || { echo "--ci set lacks g++-$t"; return 1; }
		not grep -qx "g++-$t" <<<"$plain" || { echo "plain set has g++-$t"; return 1; }
	done
	# .ci/run asks for CI's tools before it runs the README's command.
	grep -qx '\.ci/deps --ci' "$CI_DIR/run"
}

@test "only what is missing is asked for, and nothing when all is there" {
	INSTALLED=all deps
	[ "$got" = 0 ]
	not grep -q '^apt-get' log
	INSTALLED=all deps --ci
	[ "$got" = 0 ]
	not grep -q '^apt-get' log

	: >log
	INSTALLED="$SUITE $CI_TOOLS" REMOVED="bats lintian" deps --ci
	[ "$got" = 0 ]
	[ "$(asked)" = $'bats\nlintian' ]

	: >log
	INSTALLED="$SUITE $CI_TOOLS" REMOVED="bats lintian" deps
	[ "$(asked)" = bats ]
}

@test "a lock held by another process is waited for; other failures are not" {
	# Held over two tries of the update.
	LOCKED=2 deps
	[ "$got" = 0 ] || { cat err; return 1; }
	[ "$(grep '^apt-get' log | grep -c ' update ')" = 3 ]
	[ "$(grep '^apt-get' log | grep -c ' install ')" = 1 ]
	[ "$(grep -c '^sleep' log)" = 2 ]
	[ "$(grep -c 'waiting' err)" = 1 ]
	[ "$(asked)" = "$(words "$SUITE")" ]

	# Held beyond the time allowed: apt-get's own message, and its status.
	: >log
	QUARN_LOCK_WAIT=0 LOCKED=99 deps --ci
	[ "$got" = 100 ]
	[ "$(grep -c '^apt-get' log)" = 1 ]
	grep -q 'DPkg::Lock::Timeout=0 ' log
	grep -q '^E: Could not get lock' err
	[ -z "$(asked)" ]

	# Any other failure ends the run at once.
	: >log
	FAIL="Unable to locate package bats" deps
	[ "$got" = 100 ]
	[ "$(grep -c '^apt-get' log)" = 1 ]
	not grep -q '^sleep' log
	[ "$(cat err)" = "E: Unable to locate package bats" ]
}

@test "a bad argument prints the usage and asks for nothing" {
	for args in --bogus ci "--ci extra"; do
		: >log
		deps $args
		[ "$got" = 2 ] || { echo "$args: status $got"; return 1; }
		[ "$(cat err)" = "usage: .ci/deps [--ci]" ]
		[ ! -s out ]
		[ ! -s log ]
	done
	deps --help
	[ "$got" = 0 ]
	[ "$(cat out)" = "usage: .ci/deps [--ci]" ]
	[ ! -s log ]
	QUARN_LOCK_WAIT=soon deps
	[ "$got" = 2 ]
	[ ! -s log ]
}
