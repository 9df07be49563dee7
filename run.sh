#!/usr/bin/env bash
# Builds the program and opens its window on the bundled sample song
# (samples/sample.txt); Convert Auto (the green button) makes it player lyrics.
#
#   ./run.sh          the window (needs a display)
#   ./run.sh --cli    the command-line demonstration instead: Convert Auto
#                     turns the sample into a player lyrics file, which is
#                     then made into a tag file against the sample page and
#                     rebuilt from it, all in a temporary folder
set -euo pipefail
cd "$(dirname "$0")"
. scripts/common.sh

ensure_packages
BUILD_TARGET="zveklc zveklc-cli" configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ "${1:-}" != --cli ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec ./build/src/zveklc samples/sample.txt
  fi
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): showing the command-line demonstration instead." >&2
fi

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
