#!/usr/bin/env bash
# Builds the program and opens its window on the bundled sample song
# (samples/sample.txt); Convert Auto (the green button) makes it player lyrics.
#
#   ./run.sh          the window (without a display that can be opened, the
#                     command-line demonstration below)
#   ./run.sh --cli    the command-line demonstration instead: Convert Auto
#                     turns the sample into a player lyrics file, which is
#                     then made into a tag file against the sample page and
#                     rebuilt from it, in a temporary folder removed afterwards
#   ./run.sh --windows [--cli]
#                     the same with the Windows programs, cross-built into
#                     build-windows/ and run under Wine in a private prefix
#                     under /tmp, removed afterwards
set -euo pipefail
cd "$(dirname "$0")"
. scripts/common.sh

windows=0
if [ "${1:-}" = --windows ]; then
  windows=1
  shift
fi

# The build speaks only when it fails.
log=$(mktemp)
if [ "$windows" = 1 ]; then
  ensure_windows_packages
  build() {
    BUILD_TARGET="zveklc zveklc-cli" configure_and_build build-windows \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo
  }
else
  ensure_packages
  build() { BUILD_TARGET="zveklc zveklc-cli" configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo; }
fi
if ! build >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"

# Whether the window can open a display: Qt would abort on one it cannot.
# xdpyinfo (x11-utils) tries a real connection where it is installed;
# otherwise the Wayland socket, the local X socket or the X server's TCP
# port must answer.
display_usable() {
  local socket=${WAYLAND_DISPLAY:-}
  if [ -n "$socket" ]; then
    [ "${socket#/}" = "$socket" ] && socket=${XDG_RUNTIME_DIR:-/nonexistent}/$socket
    [ -S "$socket" ] && return 0
  fi
  [ -n "${DISPLAY:-}" ] || return 1
  if command -v xdpyinfo >/dev/null; then
    xdpyinfo >/dev/null 2>&1
    return
  fi
  local host=${DISPLAY%%:*} number=${DISPLAY#*:}
  number=${number%%.*}
  case $number in '' | *[!0-9]*) return 1 ;; esac
  if [ -z "$host" ] || [ "$host" = unix ]; then
    [ -S "/tmp/.X11-unix/X$number" ]
  else
    timeout 3 bash -c "exec 3<>/dev/tcp/$host/$((6000 + number))" 2>/dev/null
  fi
}

work=$(mktemp -d)
cleanup() {
  if [ "$windows" = 1 ]; then wineserver -k 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
if [ "$windows" = 1 ]; then
  # Wine's menu builder would put the prefix's Start menu into the desktop's.
  export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
  mkdir "$WINEPREFIX"
  echo "Preparing a Wine prefix in $WINEPREFIX ..." >&2
  wine wineboot -i >/dev/null 2>&1 </dev/null
  cli=(wine "$PWD/build-windows/src/zveklc-cli.exe")
  window=(wine "$PWD/build-windows/src/zveklc.exe")
else
  cli=("$PWD/build/src/zveklc-cli")
  window=(./build/src/zveklc)
fi

if [ "${1:-}" != --cli ]; then
  if display_usable; then
    if [ "$windows" = 1 ]; then
      "${window[@]}" samples/sample.txt
      exit
    fi
    rm -rf "$work"
    exec "${window[@]}" samples/sample.txt
  fi
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "The display (${WAYLAND_DISPLAY:-$DISPLAY}) cannot be opened: showing the command line instead." >&2
  else
    echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): showing the command line instead." >&2
  fi
fi

cp samples/sample.txt samples/sample.htm "$work"/
cd "$work"
step() { printf '\n== %s\n$ zveklc-cli %s\n' "$1" "$2"; }
show() { iconv -f CP932 -t UTF-8 "$1" | tr -d '\r' | sed -n "$2"; }

step "Plain lyrics text becomes player lyrics (Convert Auto sees plain text)" "auto sample.txt"
"${cli[@]}" auto sample.txt
show sample.lyr '15,19p;20s/.*/.../p'
step "A tag file: the words replaced by where they stand in the page sample.htm" "tag -r sample.htm sample.lyr"
"${cli[@]}" tag -r sample.htm sample.lyr
show sample.TagLyr '1,4p;21,23p;24s/.*/.../p'
step "Rebuilt from the tag file and the page its Reference= names" "untag -o rebuilt.lyr sample.TagLyr"
"${cli[@]}" untag -o rebuilt.lyr sample.TagLyr
cmp -s sample.lyr rebuilt.lyr && echo "rebuilt.lyr is byte for byte sample.lyr"
