#!/usr/bin/env bash
# Start-up time of the desktop program, from launch until its window is on
# screen and painted, next to a bare Qt window of the same shape. Both run in
# turn on a private Xvfb so that drift on a busy machine hits them alike.
#
#   scripts/startup-time.sh            RUNS=7 by default
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

RUNS=${RUNS:-7}
BUILD_DIR=build-rel
SAMPLE=samples/sample.txt
SAMPLE_TITLE=sample.txt

ensure_packages xvfb xauth libx11-dev libxdamage-dev

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZVEKLC_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target bare_window startup_probe
# The program is measured only if it builds; the yardstick is useful without it.
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target zveklc ||
  echo "note: the zveklc target did not build" >&2

probe=$BUILD_DIR/bench/startup/startup_probe
bare=$BUILD_DIR/bench/startup/bare_window
app=$BUILD_DIR/src/zveklc

. scripts/xvfb.sh
trap xvfb_stop EXIT
trap 'exit 130' INT TERM
xvfb_start


# One start; prints its time in ms.
measure() {
  local out
  out=$("$probe" --runs 1 --pause 0 "$@") || return 1
  sed -n 's/^run 1: \([0-9.]*\) ms$/\1/p' <<<"$out"
}

median() {
  printf '%s\n' "$@" | sort -n |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

have_app=0
if [ -x "$app" ]; then
  have_app=1
else
  echo "note: $app is missing; measuring the bare window only" >&2
fi

# The first start of each pays for cold file caches; it is not counted.
measure -- "$bare" >/dev/null || { echo "bare_window: no painted window" >&2; exit 1; }
if [ $have_app = 1 ]; then
  measure --title "$SAMPLE_TITLE" -- "$app" "$SAMPLE" >/dev/null ||
    { echo "zveklc: no painted window titled $SAMPLE_TITLE" >&2; exit 1; }
fi

bare_times=() app_times=()
for i in $(seq "$RUNS"); do
  t=$(measure -- "$bare") || { echo "bare_window: measurement failed" >&2; exit 1; }
  bare_times+=("$t")
  sleep 0.3
  if [ $have_app = 1 ]; then
    t=$(measure --title "$SAMPLE_TITLE" -- "$app" "$SAMPLE") || { echo "zveklc: measurement failed" >&2; exit 1; }
    app_times+=("$t")
    sleep 0.3
  fi
done

echo "display $DISPLAY, $RUNS starts each, ms from launch to painted window"
echo "bare_window:           ${bare_times[*]}"
bare_median=$(median "${bare_times[@]}")
echo "bare_window median:    $bare_median ms"
if [ $have_app = 1 ]; then
  echo "zveklc $SAMPLE: ${app_times[*]}"
  app_median=$(median "${app_times[@]}")
  echo "zveklc median:         $app_median ms"
  awk -v a="$app_median" -v b="$bare_median" 'BEGIN { printf "ratio zveklc/bare:     %.2f\n", a / b }'
fi
