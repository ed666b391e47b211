#!/usr/bin/env bash
# First sight on folders of mail given by the caller: the shipped program,
# configuration and model (learned from the development folders only) judge
# every file once with `vexel3 --check`, and the figures the judgement is
# held to are printed: spam caught, ordinary mail held, wanted commercial
# mail held, CPU per message. For an independent check on mail this project
# never saw; nothing here names or opens any folder by itself.
#
#   bench/judge_folders.sh SPAM-FOLDER GOOD-FOLDER [WANTED-FOLDER] [BUILD-DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -ge 2 ] || { echo "usage: $0 SPAM-FOLDER GOOD-FOLDER [WANTED-FOLDER] [BUILD-DIR]" >&2; exit 2; }
spam="$1"
good="$2"
wanted="${3:-}"
build="${4:-$root/build/bench}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/program"
cp "$build/program/vexel3" "$work/program/"
cp -r "$root/resources/config" "$work/program/config"

: >"$work/verdicts"
: >"$work/cpu"
for kind in spam good wanted; do
    folder="${!kind}"
    [ -n "$folder" ] || continue
    # Every file but the npm corpus's metadata beside each message.
    find "$folder" -type f ! -name '*.json' -print0 | sort -z >"$work/list"
    { TIMEFORMAT='%3U %3S'; time xargs -0 -n 500 "$work/program/vexel3" --check <"$work/list" \
        | awk -F'\t' -v k="$kind" '{ print k "\t" $2 }' >>"$work/verdicts" || true; } 2>>"$work/cpu"
done
awk -F'\t' '
    FILENAME ~ /cpu$/ { cpu += 1000 * ($1 + $2); next }
    { total[$1]++; n++; if ($2 == "spam") held[$1]++ }
    END {
        printf "spam caught: %d of %d (%.1f %%)\n", held["spam"], total["spam"], total["spam"] ? 100 * held["spam"] / total["spam"] : 0
        printf "ordinary mail held: %d of %d (%.2f %%)\n", held["good"], total["good"], total["good"] ? 100 * held["good"] / total["good"] : 0
        if (total["wanted"])
            printf "wanted commercial mail held: %d of %d (%.1f %%)\n", held["wanted"], total["wanted"], 100 * held["wanted"] / total["wanted"]
        printf "CPU per message: %.2f ms (process start included, up to 500 files per process)\n", n ? cpu / n : 0
    }' "$work/cpu" "$work/verdicts"
