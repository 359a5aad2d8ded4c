#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kelmar_T from a demo program
# folder made from dist/.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
ensure_deps

build=build/run
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELMAR_TESTS=OFF -Wno-dev >/dev/null
cmake --build "$build" -j "$(nproc)"

# The program finds setup.ini, meter.txt and logo/ beside itself.
demo=demo
mkdir -p "$demo"
cp -f "$build/monitor/Kelmar_T" "$demo/"
cp -rn dist/setup.ini dist/meter.txt dist/logo "$demo/" 2>/dev/null || true

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: Kelmar_T runs offscreen (nothing will be seen)." >&2
  export QT_QPA_PLATFORM=offscreen
fi
exec "$demo/Kelmar_T"
