#!/usr/bin/env bash
# Builds the benchmarks in release mode and runs them all (or those whose
# executable name matches the first argument).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DJUNKWARDEN_TESTS=OFF -DJUNKWARDEN_BENCHMARKS=ON
cmake --build "$root/build/bench"
export QT_QPA_PLATFORM=offscreen
for b in "$root"/build/bench/bench/*_bench; do
    case "$(basename "$b")" in *"${1:-}"*) "$b" ;; esac
done
