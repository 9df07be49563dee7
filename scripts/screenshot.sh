#!/usr/bin/env bash
# Screenshot of the main window with the sample open, taken on a private Xvfb.
#
#   scripts/screenshot.sh OUTPUT.png
#
# ZVEKLC_BIN names another program to photograph (its window is then taken as
# soon as it is painted, unless ZVEKLC_TITLE names a title to wait for).
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTPUT.png" >&2; exit 2; }
output=$(realpath -m "$1")
bin=${ZVEKLC_BIN:+$(realpath "$ZVEKLC_BIN")}
cd "$(dirname "$0")/.."
. scripts/common.sh

BUILD_DIR=build-rel
SAMPLE=samples/sample.txt

ensure_packages xvfb xauth libx11-dev libxdamage-dev imagemagick

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZVEKLC_TESTS=OFF >/dev/null
if [ -n "$bin" ]; then
  app=$bin
  title=${ZVEKLC_TITLE:-}
  cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target startup_probe
else
  app=$BUILD_DIR/src/zveklc
  title=${ZVEKLC_TITLE:-sample.txt}
  cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target startup_probe zveklc
fi
probe=$BUILD_DIR/bench/startup/startup_probe

. scripts/xvfb.sh
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill -TERM -- "-$app_pid" 2>/dev/null
  xvfb_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM
xvfb_start


# The probe leaves the program running and says "window 0x... pid N ms T".
read -r _ window _ app_pid _ < <("$probe" --keep ${title:+--title "$title"} -- "$app" "$SAMPLE") || true
[ -n "$app_pid" ] && [ -n "$window" ] || { echo "no painted window from $app" >&2; exit 1; }

# The first paint may be followed by a second one (a late layout pass, the
# cursor); give it a moment so the picture shows the settled window.
sleep 0.5
import -window "$window" "png:$output"
echo "$output: window $window of $app"
