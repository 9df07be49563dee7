#!/usr/bin/env bash
# Converting a folder of lyrics files in one zveklc-cli run, whole process:
# 1,000 plain-text songs of 40 lines each, `zveklc-cli text -q -o OUT/ *.txt`,
# against one process per file as a shell loop would start them.
# Usage: bench/cli-batch.sh [BUILD_DIR]   (default: build-rel, a Release build)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
ensure_packages hyperfine

build=${1:-build-rel}
BUILD_TARGET=zveklc-cli configure_and_build "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cli=$PWD/$build/src/zveklc-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/in"
for ((f = 0; f < 1000; f++)); do
  for ((l = 0; l < 40; l++)); do printf '\x82\xa0\x82\xa2\x82\xa4 line %d of song %d\r\n' "$l" "$f"; done \
    >"$work/in/song$f.txt"
done
cd "$work/in"
hyperfine --warmup 1 --runs 5 --export-json "$work/result.json" \
  --prepare "rm -rf $work/out" \
  -n "one process, 1000 files" "$cli text -q -o $work/out/ song*.txt" \
  -n "1000 processes" "mkdir -p $work/out && for f in song*.txt; do $cli text -q -o $work/out/ \$f; done"
python3 - "$work/result.json" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(f'{r["command"]}: {r["median"]:.3f} s median, {1000 / r["median"]:.0f} files/s')
PY
