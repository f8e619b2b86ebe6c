#!/usr/bin/env bats
# The installed layout, and the manual pages as a reader gets them.

setup() {
	cd "$BATS_TEST_TMPDIR"
}

@test "installs both programs and their manual pages, which run" {
	cmake --install "$BUILD_DIR" --prefix "$PWD/p" >/dev/null
	[ -x p/bin/quarn-around ]
	[ -x p/bin/quarn-twin ]
	[ -f p/share/man/man1/quarn-around.1 ]
	[ -f p/share/man/man1/quarn-twin.1 ]
	[ "$(p/bin/quarn-around 12 | sed -n 11p)" = "12 = 2^2 * 3" ]
	[ "$(printf '3\n5\n' | p/bin/quarn-twin)" = "3 5" ]
}

@test "manual pages render without a warning" {
	command -v groff >/dev/null || skip "groff not installed"
	for page in "$SOURCE_DIR"/man/*.1; do
		groff -man -Tutf8 -ww -z "$page" 2>warnings
		[ ! -s warnings ] || { cat warnings; return 1; }
	done
}

@test "the Debian package holds the same files, which run" {
	command -v dpkg-deb >/dev/null || skip "dpkg-deb not installed"
	cpack -G DEB -B "$PWD/pkg" --config "$BUILD_DIR/CPackConfig.cmake" >/dev/null
	deb=$(echo pkg/quarn_*.deb)
	dpkg-deb -c "$deb" | awk '{ print $NF }' | grep -v '/$' | sort >files
	printf '%s\n' ./usr/bin/quarn-around ./usr/bin/quarn-twin \
		./usr/share/man/man1/quarn-around.1 ./usr/share/man/man1/quarn-twin.1 >want
	diff want files
	dpkg-deb -x "$deb" root
	[ "$(root/usr/bin/quarn-around 10-20 | wc -l)" = 11 ]
	[ "$(printf '11\n13\n' | root/usr/bin/quarn-twin)" = "11 13" ]
}
