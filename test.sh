#!/usr/bin/env bash
# Installs what is missing, builds, runs every test; then builds the tests again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs them once more.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh --test

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# A private settings folder so the tests never touch the user's own.
export LUMATRANS_CONFIG_DIR="${TMPDIR:-/tmp}/lumatrans-test-config.$$"
trap 'rm -rf "$LUMATRANS_CONFIG_DIR"' EXIT

status=0
echo "== Release build and tests"
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test -j "$jobs"
ctest --test-dir build/test -j "$jobs" --output-on-failure || status=1

echo "== Sanitizer build and tests (ASan + UBSan)"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMA_SANITIZE=ON -DLUMA_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan -j "$jobs" --output-on-failure || status=1

exit $status
