#!/usr/bin/env bash
# Installs what is missing, builds with warnings and sanitizers, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
ensure_deps

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELMAR_SANITIZE=ON -Wno-dev >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j 2 "$@"
