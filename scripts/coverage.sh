#!/usr/bin/env bash
# Line and branch coverage of src/ by the whole test suite.
# Usage: scripts/coverage.sh [ctest options...]   (e.g. -L core, -R Html)
# Builds build-coverage/ with gcov instrumentation, runs the tests and prints
# gcovr's summary; build-coverage/coverage.txt holds the per-file table.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

ensure_packages gcovr
configure_and_build build-coverage -DCMAKE_BUILD_TYPE=Debug -DZVEKLC_COVERAGE=ON -DZVEKLC_BENCH=OFF
find build-coverage -name '*.gcda' -delete
(cd build-coverage && QT_QPA_PLATFORM=offscreen ctest --parallel "$(nproc)" "$@" >/dev/null) ||
  echo "coverage: some tests failed; the figures still count what ran" >&2
gcovr --root . --filter 'src/' --object-directory build-coverage \
  --exclude-unreachable-branches --exclude-throw-branches \
  --txt build-coverage/coverage.txt --print-summary build-coverage | grep -E '^(lines|branches):'
