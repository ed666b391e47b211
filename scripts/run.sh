#!/usr/bin/env bash
# Builds a release build, stages the program folder and starts Junkwarden
# from it. Extra arguments go to the program (for example /tray).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DJUNKWARDEN_TESTS=OFF
cmake --build "$root/build/release"
exec "$root/build/release/program/junkwarden" "$@"
