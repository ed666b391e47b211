#!/usr/bin/env bash
# Installs the built program into a temporary prefix as `cmake --install`
# would for a user, checks the tree, validates the menu entry, and installs
# again over a changed configuration, which must be kept.
#
#   install_test.sh BUILD-DIR
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
program="$prefix/lib/junkwarden"
for file in junkwarden vexel3 update PostPing; do
    [ -x "$program/$file" ] || fail "$program/$file is not an installed program"
done
for file in config/main.cfg config/methods.cfg config/remessage config/learned_words.dat config/language.lng \
    help/0.html help/6.html share; do
    case "$file" in
        share) [ -f "$prefix/share/icons/hicolor/scalable/apps/junkwarden.svg" ] || fail "no icon" ;;
        *) [ -s "$program/$file" ] || fail "$program/$file is missing or empty" ;;
    esac
done
[ -d "$program/messages" ] || fail "no messages folder"
[ -z "$(ls -A "$program/messages")" ] || fail "the messages folder is not empty"
[ "$(readlink -f "$prefix/bin/junkwarden")" = "$(readlink -f "$program/junkwarden")" ] || fail "the launcher leads elsewhere"
entry="$prefix/share/applications/junkwarden.desktop"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
grep -qx "Exec=$program/junkwarden" "$entry" || fail "the menu entry starts $(grep ^Exec= "$entry")"
grep -qx "Icon=junkwarden" "$entry" || fail "the menu entry names no icon"
grep -q "<svg" "$prefix/share/icons/hicolor/scalable/apps/junkwarden.svg" || fail "the icon is no SVG"

# A reinstall keeps the user's configuration and replaces the program.
printf 'server_port=2110\r\n' >"$program/config/main.cfg"
printf 'mine\r\n' >"$program/config/blacklist"
: >"$program/vexel3"
cmake --install "$build" --prefix "$prefix" >/dev/null
[ "$(cat "$program/config/main.cfg")" = "$(printf 'server_port=2110\r\n')" ] || fail "the reinstall replaced main.cfg"
[ -f "$program/config/blacklist" ] || fail "the reinstall removed a list"
[ -s "$program/vexel3" ] || fail "the reinstall did not replace the program"
echo "installed and reinstalled in $prefix"
