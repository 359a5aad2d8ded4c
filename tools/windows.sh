#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build: cross-builds Kelmar_T.exe, install_Kelmar_T.exe and the
# tests with MinGW-w64 against the prefix in ../shared/winsdk2 (Qt with
# Network, OpenSSL, libmosquitto: gateways and publishing are required),
# runs the tests under Wine, makes the NSIS setup program, installs with it
# and starts the installed programs from their folder alone. Called by
# .ci/run after ./test.sh. Without the prefix it says how to make one and is
# skipped; with it, anything that fails fails the step.
#
#   tools/windows.sh [ctest arguments...]
#   KELMAR_WINSDK=/path/to/winsdk tools/windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
winsdk=${KELMAR_WINSDK:-$src/../shared/winsdk2}
build=${KELMAR_WINDOWS_BUILD:-$src/build/windows}

if [ -d "$winsdk" ] && { [ ! -f "$winsdk/qt6-mingw.tar.xz" ] || [ ! -f "$winsdk/mingw-w64-x86_64.cmake" ]; }; then
  echo "$winsdk lacks qt6-mingw.tar.xz or mingw-w64-x86_64.cmake: the Windows step fails." >&2
  exit 1
fi
if [ ! -d "$winsdk" ]; then
  cat <<MSG
Windows build skipped: no Qt prefix for MinGW-w64 in $winsdk
(qt6-mingw.tar.xz and mingw-w64-x86_64.cmake). To make one (about an hour on
two cores), run
    tools/winsdk-build.sh $winsdk
or set KELMAR_WINSDK to a folder that holds them, then run tools/windows.sh again.
MSG
  exit 0
fi

source tools/deps.sh
KELMAR_PACKAGES=("${KELMAR_WINDOWS_PACKAGES[@]}")
ensure_deps_packages

start=$(date +%s)
mkdir -p "$build"
qt=$build/qt6-mingw
# The prefix is unpacked once per archive: a newer archive replaces it.
if [ ! -f "$qt/.unpacked" ] || [ "$winsdk/qt6-mingw.tar.xz" -nt "$qt/.unpacked" ]; then
  rm -rf "$qt"
  echo "Unpacking the Qt prefix into $qt"
  tar -xJf "$winsdk/qt6-mingw.tar.xz" -C "$build"
  touch "$qt/.unpacked"
fi

cross=$build/build
# The Linux-built simulator is the gateway and the meter line of the tests
# under Wine (there is no libmodbus for MinGW in Debian): without it they
# would skip, so the step fails instead.
hostsim=${KELMAR_HOST_METERSIM:-}
for candidate in build/test build/dev build; do
  [ -n "$hostsim" ] && break
  [ -x "$candidate/tools/metersim/kelmar_metersim" ] && hostsim=$src/$candidate/tools/metersim/kelmar_metersim
done
if [ -z "$hostsim" ] || [ ! -x "$hostsim" ]; then
  echo "No Linux-built kelmar_metersim (build/test, build/dev, build or KELMAR_HOST_METERSIM):" >&2
  echo "run ./test.sh first." >&2
  exit 1
fi
cmake -S "$src" -B "$cross" -G Ninja -Wno-dev \
  -DCMAKE_BUILD_TYPE=Release \
  $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) \
  -DCMAKE_TOOLCHAIN_FILE="$winsdk/mingw-w64-x86_64.cmake" \
  -DQT_MINGW_PREFIX="$qt" -DCMAKE_PREFIX_PATH="$qt" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DKELMAR_HOST_METERSIM="$hostsim" -DKELMAR_NETWORK=ON -DKELMAR_PUBLISH=ON \
  >"$build/configure.log" || { cat "$build/configure.log"; exit 1; }
cmake --build "$cross" -j "${KELMAR_JOBS:-$(nproc)}"

# Wine starts its prefix once; a server that stays up spares every test the
# wait for the last one's Wine processes.
export WINEPREFIX=$cross/wineprefix WINEDEBUG=-all
wineserver -p >/dev/null 2>&1 || true
wine wineboot -u >/dev/null 2>&1 || true

# A Wine process now and then dies at its start, before the test's own code
# runs (seen once in CI: a 0.01 s failure with no output), so a test that
# fails here runs once more; its first run stays in the log. The Linux run
# in test.sh gives no second chance.
status=0
(cd "$cross" && ctest --output-on-failure -j 2 --repeat until-pass:2 "$@") || status=$?

(cd "$cross" && cpack -G NSIS >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; exit 1; }
setup=$(ls "$cross"/Kelmar_T-*-setup.exe)
ls -l "$setup"

# The setup program installs without questions, with every DLL the programs
# load and the licence texts of the libraries it carries.
check=$WINEPREFIX/drive_c/Kelmar_T-check
rm -rf "$check"
wine "$setup" /S '/D=C:\Kelmar_T-check'
missing=()
for f in Kelmar_T.exe kelmar-t-service.exe install_Kelmar_T.exe Qt6Core.dll Qt6Widgets.dll Qt6SerialPort.dll \
    Qt6Network.dll libQCustomPlotQt6.dll libstdc++-6.dll libmosquitto.dll libssl-3-x64.dll \
    libcrypto-3-x64.dll platforms/qwindows.dll imageformats/qjpeg.dll \
    setup.ini meter.txt logo/vq2_366.jpg README.md LICENSE licences/OpenSSL.txt \
    licences/libmosquitto.txt translations/qtbase_zh_TW.qm Uninstall.exe; do
  [ -f "$check/$f" ] || missing+=("$f")
done
# The licence page: Kelmar_T's licence, then the libraries'.
page=$(sed -n 's/^ *!insertmacro MUI_PAGE_LICENSE "\(.*\)"$/\1/p' "$cross/_CPack_Packages/win64/NSIS/project.nsi")
for text in "GNU GENERAL PUBLIC LICENSE" "Eclipse Public License - v 2.0" \
    "Eclipse Distribution License - v 1.0" "Apache License"; do
  grep -q "$text" "$page" 2>/dev/null || missing+=("(licence page without \"$text\")")
done

# Every installed program starts from its folder alone, without the build's
# WINEPATH, and stays up (the installer waits for its button, the service
# for its port). Their windows go to an X server without a screen, as to a
# desktop.
alive() { # pid: running, not ended and waiting to be reaped
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) && [ "${state#Z}" = "$state" ]
}
stays_up() { # exe [arguments...]: starts it, true when it still runs after 15 s
  local log=$build/start-$(basename "$1" .exe)${2:+-${2#--}}.log pid up=1
  WINEDEBUG=err+module wine "$@" >"$log" 2>&1 &
  pid=$!
  for _ in $(seq 150); do
    alive $pid || { up=0; break; }
    sleep 0.1
  done
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
  [ $up = 1 ] || { echo "$1 ended at once:" >&2; cat "$log" >&2; }
  return $((1 - up))
}
display=:$((90 + $$ % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
(
  unset WINEPATH
  # The service needs no display, keeps trying a gateway that refuses (port
  # 1 on the loopback: Qt Network from the folder too) and logs to the
  # standard error it was given. (COM1 of the Wine prefix is /dev/ttyS0,
  # whose opening Wine's serial layer may never finish.)
  mkdir -p "$check/com"
  printf 'tcp://127.0.0.1:1\r\n' >"$check/com/gateway1"
  (unset DISPLAY; stays_up "$check/Kelmar_T.exe" --service) || exit 1
  grep -q 'info: COM1 (127.0.0.1:1)' "$build/start-Kelmar_T-service.log" ||
    { echo "The service did not log its gateway:" >&2; cat "$build/start-Kelmar_T-service.log" >&2; exit 1; }
  # The language follows Wine's (English here) or --lang: the usage in Chinese.
  wine "$check/Kelmar_T.exe" --help --lang zh_TW 2>/dev/null | grep -q '用法 (usage)' ||
    { echo "Kelmar_T --help --lang zh_TW did not speak Chinese" >&2; exit 1; }
  (unset DISPLAY; stays_up "$check/kelmar-t-service.exe" --service) || exit 1
  rm -r "$check/com"
  export DISPLAY=$display
  stays_up "$check/Kelmar_T.exe" || exit 1
  stays_up "$check/install_Kelmar_T.exe" || exit 1
) || missing+=("(an installed program did not start from its folder)")
kill $xvfb 2>/dev/null || true

# Its uninstaller removes what it put in place and keeps the operator's files.
echo "edited" >>"$check/setup.ini"
echo "12:00:00" >"$check/2025-03-06-1200.txt"
wine "$check/Uninstall.exe" /S '_?=C:\Kelmar_T-check'
[ ! -e "$check/Kelmar_T.exe" ] || missing+=("(uninstall left Kelmar_T.exe)")
for f in setup.ini meter.txt 2025-03-06-1200.txt; do
  [ -f "$check/$f" ] || missing+=("(uninstall removed $f)")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "The setup program failed its check: ${missing[*]}" >&2
  status=1
else
  echo "The setup program installs silently with the libraries and their licences; the installed"
  echo "programs start from their folder alone; its uninstaller keeps setup.ini, meter.txt and records."
fi
wineserver -k >/dev/null 2>&1 || true
echo "Windows build, tests and setup program: $(( $(date +%s) - start )) s"
exit $status
