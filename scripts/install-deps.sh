#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Junkwarden;
# only the missing ones are installed.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-qpa-plugins libc-bin
    libgumbo-dev
    xvfb
    libgmime-3.0-dev libicu-dev libre2-dev libpsl-dev qtkeychain-qt6-dev
    evolution-data-server
    dbus-daemon gnome-keyring
    dovecot-pop3d curl openssl dnsmasq-base python3-aiosmtpd
    bogofilter spamd spamc desktop-file-utils
    dpkg-dev lintian appstream librsvg2-bin
    thunderbird
    clang
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
