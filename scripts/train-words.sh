#!/usr/bin/env bash
# Makes the statistical method's shipped model, resources/config/
# learned_words.dat, from the public corpus's development folders (spam-1 as
# spam, easy-ham-1 as good mail; the other folders are kept for independent
# evaluation and are never read). Words seen fewer than twice are left out.
#
#   scripts/train-words.sh [BUILD-DIR]   (default build/bench, a release build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/bench}"
data="$("$root/bench/corpus_fetch.sh")"
program="$(mktemp -d)"
trap 'rm -rf "$program"' EXIT
cp "$build/program/vexel3" "$program/"
mkdir "$program/config"
find "$data/spam-1" -name '*.txt' -print0 | sort -z | xargs -0 -n 100000 "$program/vexel3" --learn-spam
find "$data/easy-ham-1" -name '*.txt' -print0 | sort -z | xargs -0 -n 100000 "$program/vexel3" --learn-good
"$program/vexel3" --prune-words 2
cp "$program/config/learned_words.dat" "$root/resources/config/learned_words.dat"
wc -c "$root/resources/config/learned_words.dat"
