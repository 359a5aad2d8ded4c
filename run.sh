#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and starts Kelmar_T from a demo program
# folder made from dist/, on a simulated line of six meters: a socat
# pseudo-terminal pair with the meter simulator (paced as real wires at
# 9600 baud) on one end and the demo
# folder's COM1 on the other. Everything started here stops with Kelmar_T.
# With --tcp (or --rtu-tcp) the same six meters stand behind an Ethernet
# gateway instead: the simulator listens on 127.0.0.1 as a Modbus TCP server
# (or passes RTU frames through TCP) and COM1 of the demo folder is mapped to
# it by the file com/com1.
set -euo pipefail
cd "$(dirname "$0")"

gateway=""
case "${1:-}" in
  "") ;;
  --tcp) gateway=tcp ;;
  --rtu-tcp) gateway=rtu-tcp ;;
  *)
    echo "usage: $0 [--tcp | --rtu-tcp]" >&2
    exit 2
    ;;
esac
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

line="$PWD/$demo/line"
mkdir -p "$line" "$demo/com"
rm -f "$line/meters" "$line/host"

started=()
stop_line() {
  local pid
  # In reverse order: Kelmar_T, then the simulator, then socat.
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    pid=${started[i]}
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap stop_line EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ -n "$gateway" ]; then
  # Any free port; the simulator names it in its ready line.
  "$build/tools/metersim/kelmar_metersim" "--$gateway" 0 --baud 9600 --paced --demo \
    >"$line/metersim.log" 2>&1 &
  started+=($!)
else
  socat pty,raw,echo=0,link="$line/meters" pty,raw,echo=0,link="$line/host" &
  started+=($!)
  for _ in $(seq 100); do
    [ -e "$line/meters" ] && [ -e "$line/host" ] && break
    sleep 0.1
  done
  if [ ! -e "$line/meters" ] || [ ! -e "$line/host" ]; then
    echo "socat did not make the line" >&2
    exit 1
  fi

  "$build/tools/metersim/kelmar_metersim" --device "$line/meters" --baud 9600 --paced --demo \
    >"$line/metersim.log" 2>&1 &
  started+=($!)
fi
for _ in $(seq 100); do
  grep -q '^ready' "$line/metersim.log" 2>/dev/null && break
  sleep 0.1
done
if ! grep -q '^ready' "$line/metersim.log" 2>/dev/null; then
  echo "The meter simulator did not start:" >&2
  cat "$line/metersim.log" >&2
  exit 1
fi

# Port 1 of the demo folder is the host end of the line (setup.ini uses it).
rm -f "$demo/com/com1"
if [ -n "$gateway" ]; then
  url=$(sed -n 's/^ready .* on \(.*\)$/\1/p' "$line/metersim.log" | head -n 1)
  printf '%s\n' "$url" >"$demo/com/com1"
  echo "Simulated gateway on COM1 ($url): six meters, slave IDs 1 to 6."
else
  ln -s "$line/host" "$demo/com/com1"
  echo "Simulated line on COM1: six meters, slave IDs 1 to 6, 9600,N,8,1."
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: Kelmar_T runs offscreen (nothing will be seen)." >&2
  export QT_QPA_PLATFORM=offscreen
fi
# In the background, so that a signal to this script reaches the trap at
# once and the trap can end Kelmar_T along with the line.
"$demo/Kelmar_T" &
app=$!
started+=("$app")
status=0
wait "$app" || status=$?
exit "$status"
