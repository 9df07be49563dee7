#!/usr/bin/env bash
# Builds everything into build/ and runs every test.
# SANITIZE=1 (as CI runs it) also builds build-asan/ with AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors, and runs every test there too
# (the window test offscreen).
# --windows instead cross-builds the Windows programs into build-windows/
# (MinGW-w64) and runs their tests under Wine in a private prefix, the
# command-line tests against zveklc-cli.exe from the Linux build's test_cli.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/common.sh

werror=OFF
[ "${SANITIZE:-0}" = 1 ] && werror=ON

if [ "${1:-}" = --windows ]; then
  ensure_windows_packages
  BUILD_TARGET="test_cli loopback_helper" configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  configure_and_build build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZVEKLC_WERROR=$werror -DZVEKLC_LINUX_BUILD="$PWD/build"
  trap wine_stop EXIT
  wine_start
  (cd build-windows && ctest --output-on-failure --parallel "$(nproc)" --timeout 300)
  exit
fi

ensure_packages
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZVEKLC_WERROR=$werror
(cd build && ctest --output-on-failure --parallel "$(nproc)")

if [ "${SANITIZE:-0}" = 1 ]; then
  configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DZVEKLC_SANITIZE=ON \
    -DZVEKLC_WERROR=ON -DZVEKLC_BENCH=OFF
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure --parallel "$(nproc)")
fi
