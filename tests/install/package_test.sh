#!/usr/bin/env bash
# Installs the Debian package into this machine with apt-get, starts the
# installed program offscreen as a user would (its window opens and writes
# the settings), checks that every file it writes lies in a temporary
# XDG_DATA_HOME and none beside the read-only program, then purges the
# package. Needs root (or sudo) and a package built by scripts/package.sh.
#
#   package_test.sh PACKAGE.deb
set -euo pipefail
deb="$(realpath "$1")"
fail() { echo "FAIL: $*" >&2; exit 1; }
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
home="$(mktemp -d)"
program=""
cleanup() {
    [ -n "$program" ] && kill -9 "$program" 2>/dev/null || true
    pkill -9 -f '^/usr/lib/junkwarden/' 2>/dev/null || true
    $sudo apt-get purge -y -qq junkwarden >/dev/null 2>&1 || true
    rm -rf "$home"
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >/dev/null
[ -x /usr/bin/junkwarden ] || fail "no /usr/bin/junkwarden"
dpkg --verify junkwarden || fail "the installed files differ from the package"
touch "$home/started"

mkdir -p "$home/runtime" && chmod 700 "$home/runtime"
env -i PATH=/usr/bin:/bin HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
    XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen JUNKWARDEN_TRAY=present \
    /usr/bin/junkwarden >"$home/out.log" 2>&1 &
program=$!
data="$home/data/junkwarden"
# The window opens with no PIN yet: it draws one and saves the settings.
for _ in $(seq 1 100); do
    grep -qa '^my_pin=[0-9][0-9][0-9][0-9]' "$data/config/main.cfg" 2>/dev/null && break
    sleep 0.1
done
grep -qa '^my_pin=[0-9][0-9][0-9][0-9]' "$data/config/main.cfg" || fail "no settings saved in $data ($(cat "$home/out.log"))"
for file in config/methods.cfg config/remessage config/language.lng config/learned_words.dat; do
    cmp -s "/usr/lib/junkwarden/$file" "$data/$file" || fail "$data/$file is not the shipped default"
done
[ -d "$data/messages" ] && [ -d "$data/state" ] || fail "no messages/ or state/ in $data"
[ "$(stat -c %a "$data")" = 700 ] || fail "the data folder is not private"
# The proxy it started serves from the same data.
for _ in $(seq 1 50); do pgrep -f '^/usr/lib/junkwarden/vexel3' >/dev/null && break; sleep 0.1; done
pgrep -f '^/usr/lib/junkwarden/vexel3' >/dev/null || fail "the proxy did not start"
kill -TERM "$program"
for _ in $(seq 1 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program" 2>/dev/null && fail "the program did not stop"
program=""
[ -z "$(find /usr/lib/junkwarden -newer "$home/started")" ] || fail "written beside the program: $(find /usr/lib/junkwarden -newer "$home/started")"
dpkg --verify junkwarden || fail "the program changed its installed files"

DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq junkwarden >/dev/null
[ ! -e /usr/lib/junkwarden ] || fail "the purge left /usr/lib/junkwarden"
[ -f "$data/config/main.cfg" ] || fail "the purge removed the user's data"
echo "installed, ran from /usr with its data in $data, purged"
