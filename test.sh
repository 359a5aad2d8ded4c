#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds with warnings and sanitizers, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
ensure_deps

build=build/test
# A compiler cache, where the machine has one, makes a rebuild cheap.
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELMAR_SANITIZE=ON "${launcher[@]}" -Wno-dev >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j 2 "$@"

# A brief run of the reply fuzzer: no input may crash it or trip a sanitizer.
fuzzer=tests/comm/fuzz/kelmar_fuzz_reply
if [ -x "$fuzzer" ]; then
  mkdir -p tests/comm/fuzz/corpus
  if ! "$fuzzer" -max_total_time=20 -artifact_prefix=tests/comm/fuzz/ tests/comm/fuzz/corpus \
      >tests/comm/fuzz/last-run.log 2>&1; then
    cat tests/comm/fuzz/last-run.log
    echo "The reply fuzzer found a failing input (saved in $PWD/tests/comm/fuzz/)." >&2
    exit 1
  fi
  echo "Reply fuzzer: $(tail -n 1 tests/comm/fuzz/last-run.log)"
fi
