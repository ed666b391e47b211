#!/usr/bin/env bash
# The idle program: starts the staged release build with "/tray" and no
# status file, then reports the time until the tray was up (the proxy is
# started as the last start step, after the icon), the CPU used over a minute
# and the resident memory. Usage: bench/idle_tray.sh [program-folder] [seconds]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program="${1:-$root/build/bench/program}"
seconds="${2:-60}"
work="$(mktemp -d)"
trap 'kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cp -r "$program"/. "$work"/
rm -f "$work/status.tmp"
: > "$work/companions.log"
export XDG_RUNTIME_DIR="$work/runtime"; mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

start=$(date +%s%N)
"$work/junkwarden" /tray 2>/dev/null &
pid=$!
until grep -q vexel3 "$work/companions.log"; do sleep 0.001; done
up=$(date +%s%N)
echo "start to tray up (proxy started): $(( (up - start) / 1000000 )) ms"

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
before=$(cpu)
sleep "$seconds"
after=$(cpu)
echo "CPU over ${seconds} s: $(( after - before )) ticks of 1/${ticks} s = $(awk -v t=$((after - before)) -v s="$seconds" -v h="$ticks" 'BEGIN{printf "%.3f", 100 * t / h / s}') % of one core"
grep VmRSS "/proc/$pid/status"
