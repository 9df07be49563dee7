#!/usr/bin/env bash
# Builds the program and runs its main job on the bundled sample: Convert Auto
# turns the sample lyrics text into a player lyrics file, which is then made
# into a tag file against the sample page and rebuilt from it. Everything is
# written to a temporary folder.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/common.sh

ensure_packages
BUILD_TARGET=zveklc-cli configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

cli=./build/src/zveklc-cli
out=$(mktemp -d)
show() { echo "----- $1 (shown as UTF-8) -----"; iconv -f CP932 -t UTF-8 "$1" | tr -d '\r'; }

$cli auto -q -o "$out/sample.lyr" samples/sample.txt
show "$out/sample.lyr"
$cli tag -q -r samples/sample.htm -o "$out/sample.TagLyr" "$out/sample.lyr"
show "$out/sample.TagLyr"
$cli untag -q -r samples/sample.htm -o "$out/rebuilt.lyr" "$out/sample.TagLyr"
if cmp -s "$out/sample.lyr" "$out/rebuilt.lyr"; then echo "rebuilt.lyr is identical to sample.lyr"; fi
echo "Written to: $out"
