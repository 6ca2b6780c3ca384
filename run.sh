#!/usr/bin/env bash
# Installs what is missing, builds the Release configuration and starts the program.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMA_BUILD_TESTS=OFF -DLUMA_BUILD_BENCH=OFF >/dev/null
cmake --build build/release --target lumatrans-cli >/dev/null
if [[ -x build/release/src/app/lumatrans ]]; then
  exec build/release/src/app/lumatrans "$@"
fi
if [[ $# -eq 0 ]]; then set -- --help; fi
exec build/release/src/cli/lumatrans-cli "$@"
