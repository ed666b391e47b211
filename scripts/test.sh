#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test through ctest, offscreen.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/test" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DJUNKWARDEN_SANITIZE=ON -DJUNKWARDEN_TESTS=ON
cmake --build "$root/build/test"
export QT_QPA_PLATFORM=offscreen
cd "$root/build/test"
ctest --output-on-failure -j"$(nproc)" --timeout 300

# The Debian package: built with Debian's flags and checked by lintian,
# appstreamcli and desktop-file-validate, then installed into this machine,
# run from /usr with its data in a temporary XDG_DATA_HOME, and purged.
# It needs root or sudo; JUNKWARDEN_PACKAGE_TEST=0 skips it.
if [ "${JUNKWARDEN_PACKAGE_TEST:-1}" != 0 ]; then
    "$root/scripts/package.sh" "$root/build/package"
    "$root/tests/install/package_test.sh" "$(ls "$root"/build/package/junkwarden_*.deb)"
fi

# Then the judgement's entry point is fuzzed for a bounded time (a minute by
# default; JUNKWARDEN_FUZZ_SECONDS=0 skips it).
fuzzSeconds="${JUNKWARDEN_FUZZ_SECONDS:-60}"
if [ "$fuzzSeconds" -gt 0 ]; then
    "$root/scripts/fuzz.sh" "$fuzzSeconds"
fi
