#!/usr/bin/env bash
# Fuzzes the judgement entry point (message source -> GMime -> every list and
# method), then the POP3 line reading of server answers and client commands
# and the readers of files other programs write (the registry export,
# prefs.js, mail HTML), a quarter of the time each, with libFuzzer, built by clang with AddressSanitizer and
# UndefinedBehaviorSanitizer, for a bounded time.
#
#   scripts/fuzz.sh [SECONDS]    (default 60)
#
# Seeds are in fuzz/seeds/; what the run finds new stays in build/fuzz/corpus/
# and a crashing input is written to build/fuzz/ as crash-*.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
"$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DJUNKWARDEN_FUZZ=ON -DJUNKWARDEN_TESTS=OFF >/dev/null
cmake --build "$root/build/fuzz" --target judgement_fuzz pop3_fuzz files_fuzz
mkdir -p "$root/build/fuzz/corpus"
cd "$root/build/fuzz"
ASAN_OPTIONS=detect_leaks=0 ./fuzz/judgement_fuzz -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 \
    -timeout=10 -print_final_stats=1 corpus "$root/fuzz/seeds"
mkdir -p pop3-corpus
ASAN_OPTIONS=detect_leaks=0 ./fuzz/pop3_fuzz -max_total_time="$(( seconds / 4 + 1 ))" -max_len=4096 -rss_limit_mb=4096 \
    -timeout=10 -print_final_stats=1 pop3-corpus
mkdir -p files-corpus
ASAN_OPTIONS=detect_leaks=0 ./fuzz/files_fuzz -max_total_time="$(( seconds / 4 + 1 ))" -max_len=4096 -rss_limit_mb=4096 \
    -timeout=10 -print_final_stats=1 files-corpus
