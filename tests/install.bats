#!/usr/bin/env bats
# The installed layout, and the manual pages as a reader gets them.

setup() {
	cd "$BATS_TEST_TMPDIR"
}

@test "installs the three programs and their manual pages, which run" {
	[ -z "${EMULATED:-}" ] || skip "runs the installed programs directly, and $EMULATED ones need an emulator"
	cmake --install "$BUILD_DIR" --prefix "$PWD/p" >/dev/null
	[ -x p/bin/quarn-around ]
	[ -x p/bin/quarn-twin ]
	[ -x p/bin/quarn-primes ]
	[ -f p/share/man/man1/quarn-around.1 ]
	[ -f p/share/man/man1/quarn-twin.1 ]
	[ -f p/share/man/man1/quarn-primes.1 ]
	[ "$(p/bin/quarn-around 12 | sed -n 11p)" = "12 = 2^2 * 3" ]
	[ "$(p/bin/quarn-primes 10 | p/bin/quarn-twin)" = $'3 5\n5 7' ]
}

@test "manual pages render without a warning" {
	command -v groff >/dev/null || skip "groff not installed"
	for page in "$SOURCE_DIR"/man/*.1; do
		groff -man -Tutf8 -ww -z "$page" 2>warnings
		[ ! -s warnings ] || { cat warnings; return 1; }
	done
}
