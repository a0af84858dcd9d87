#!/usr/bin/env bash
# Builds ZelvaFont Setup and runs every test: the whole suite in a normal build, then the tests
# that need no window once more under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# worker, engine and font window tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default
cmake --preset asan -DZELVAFONT_GUI=OFF >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp" \
  UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan
# Only the test programs whose threads meet are built under ThreadSanitizer (the build preset
# names them); the test preset passes the suppressions for Qt's own threads.
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan
