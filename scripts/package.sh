#!/usr/bin/env bash
# Builds the Debian package with Debian's own compiler flags (hardening
# included) in build/package, then checks it: lintian must report no error
# and no warning, appstreamcli and desktop-file-validate must accept the
# AppStream entry and the menu entry. Prints the package's path last.
#
#   scripts/package.sh [BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build="${1:-build/package}"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
# Given on every configure (CMake reads the environment's flags only on the
# first), with the preprocessor's part (_FORTIFY_SOURCE), which CMake takes
# from nowhere else.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DJUNKWARDEN_TESTS=OFF -DJUNKWARDEN_PACKAGE=ON \
    -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build "$build"
rm -f "$build"/junkwarden_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/junkwarden_*.deb)"

echo "== lintian"
lintian --fail-on error,warning --display-level ">=warning" "$deb"
contents="$(mktemp -d)"
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
echo "== appstreamcli validate --no-net"
appstreamcli validate --no-net "$contents"/usr/share/metainfo/org.junkwarden.junkwarden.metainfo.xml
echo "== desktop-file-validate"
desktop-file-validate "$contents"/usr/share/applications/junkwarden.desktop
echo "$(realpath "$deb")"
