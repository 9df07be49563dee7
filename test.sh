#!/usr/bin/env bash
# Builds everything into build/ and runs every test.
# SANITIZE=1 (as CI runs it) also builds build-asan/ with AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors, and runs every test there too
# (the window test offscreen).
set -euo pipefail
cd "$(dirname "$0")"
. scripts/common.sh

ensure_packages
werror=OFF
[ "${SANITIZE:-0}" = 1 ] && werror=ON

configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZVEKLC_WERROR=$werror
(cd build && ctest --output-on-failure --parallel "$(nproc)")

if [ "${SANITIZE:-0}" = 1 ]; then
  configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DZVEKLC_SANITIZE=ON \
    -DZVEKLC_WERROR=ON -DZVEKLC_BENCH=OFF
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure --parallel "$(nproc)")
fi
