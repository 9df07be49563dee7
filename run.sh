#!/usr/bin/env bash
# Builds the program and runs its main job on the bundled sample: the sample
# lyrics text becomes a player lyrics file in a temporary folder.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/common.sh

ensure_packages
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZVEKLC_TESTS=OFF -DZVEKLC_BENCH=OFF

out=$(mktemp -d)
./build/src/zveklc-cli text -o "$out/sample.lyr" samples/sample.txt
echo "----- $out/sample.lyr (shown as UTF-8) -----"
iconv -f CP932 -t UTF-8 "$out/sample.lyr" | tr -d '\r'
echo "-----"
echo "Written to: $out/sample.lyr"
