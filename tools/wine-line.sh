#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A meter line for the tests of the Windows build under Wine, which cannot
# start socat or the Linux-built simulator itself: socat makes a pair of
# pseudo-terminals, the simulator holds one end, and COM<n> of the Wine
# prefix is linked to the other. CTest runs it as the set-up and clean-up of
# a fixture (tests/monitor/CMakeLists.txt).
#
#   tools/wine-line.sh start <folder> <port number> <simulator> [simulator arguments...]
#   tools/wine-line.sh stop <folder>
set -euo pipefail
what=${1:?start or stop}
dir=${2:?folder}

stop() {
  if [ -f "$dir/pids" ]; then
    local pid
    for pid in $(cat "$dir/pids"); do
      kill "$pid" 2>/dev/null || true
    done
    rm -f "$dir/pids"
  fi
  if [ -f "$dir/port" ]; then
    rm -f "$(cat "$dir/port")"
    rm -f "$dir/port"
  fi
}

case $what in
stop)
  stop
  exit 0
  ;;
start)
  number=${3:?port number}
  simulator=${4:?simulator}
  shift 4
  : "${WINEPREFIX:?WINEPREFIX names the Wine prefix whose port is linked}"
  stop
  mkdir -p "$dir"
  rm -f "$dir/meters" "$dir/host" "$dir/simulator.out"
  # Both programs leave the fixture's output behind, so that CTest does not
  # wait for them; clean-up ends them.
  setsid socat pty,raw,echo=0,link="$dir/meters" pty,raw,echo=0,link="$dir/host" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/pids"
  for _ in $(seq 200); do
    [ -e "$dir/meters" ] && [ -e "$dir/host" ] && break
    sleep 0.05
  done
  [ -e "$dir/host" ] || { echo "socat made no pseudo-terminals" >&2; stop; exit 1; }
  setsid "$simulator" --device "$dir/meters" "$@" </dev/null >"$dir/simulator.out" 2>&1 &
  echo $! >>"$dir/pids"
  for _ in $(seq 200); do
    grep -q '^ready' "$dir/simulator.out" 2>/dev/null && break
    sleep 0.05
  done
  grep -q '^ready' "$dir/simulator.out" || { cat "$dir/simulator.out" >&2; stop; exit 1; }
  port=$WINEPREFIX/dosdevices/com$number
  mkdir -p "$WINEPREFIX/dosdevices"
  ln -sfn "$(readlink -f "$dir/host")" "$port"
  echo "$port" >"$dir/port"
  echo "COM$number is $(readlink "$port"), the simulator: $(head -n 1 "$dir/simulator.out")"
  ;;
*)
  echo "usage: $0 start|stop <folder> ..." >&2
  exit 2
  ;;
esac
