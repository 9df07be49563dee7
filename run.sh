#!/usr/bin/env bash
# Builds the program and opens its window on the bundled sample song
# (samples/sample.txt); Convert Auto (the green button) makes it player lyrics.
#
#   ./run.sh          the window (needs a display)
#   ./run.sh --cli    the command-line demonstration instead: Convert Auto
#                     turns the sample into a player lyrics file, which is
#                     then made into a tag file against the sample page and
#                     rebuilt from it, in a temporary folder removed afterwards
set -euo pipefail
cd "$(dirname "$0")"
. scripts/common.sh

ensure_packages
# The build speaks only when it fails.
log=$(mktemp)
if ! BUILD_TARGET="zveklc zveklc-cli" configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"

if [ "${1:-}" != --cli ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec ./build/src/zveklc samples/sample.txt
  fi
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): showing the command line instead." >&2
fi

cli=$PWD/build/src/zveklc-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp samples/sample.txt samples/sample.htm "$work"/
cd "$work"
step() { printf '\n== %s\n$ zveklc-cli %s\n' "$1" "$2"; }
show() { iconv -f CP932 -t UTF-8 "$1" | tr -d '\r' | sed -n "$2"; }

step "Plain lyrics text becomes player lyrics (Convert Auto sees plain text)" "auto sample.txt"
"$cli" auto sample.txt
show sample.lyr '15,19p;20s/.*/.../p'
step "A tag file: the words replaced by where they stand in the page sample.htm" "tag -r sample.htm sample.lyr"
"$cli" tag -r sample.htm sample.lyr
show sample.TagLyr '1,4p;21,23p;24s/.*/.../p'
step "Rebuilt from the tag file and the page its Reference= names" "untag -o rebuilt.lyr sample.TagLyr"
"$cli" untag -o rebuilt.lyr sample.TagLyr
cmp -s sample.lyr rebuilt.lyr && echo "rebuilt.lyr is byte for byte sample.lyr"
