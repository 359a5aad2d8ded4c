#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build: cross-builds Kelmar_T.exe, install_Kelmar_T.exe and the
# tests with MinGW-w64 against the Qt prefix in ../shared/winsdk, runs the
# tests under Wine and makes the NSIS setup program. Called by .ci/run after
# ./test.sh. Without the Qt prefix it says how to make one and is skipped.
#
#   tools/windows.sh [ctest arguments...]
#   KELMAR_WINSDK=/path/to/winsdk tools/windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
winsdk=${KELMAR_WINSDK:-$src/../shared/winsdk2}
build=${KELMAR_WINDOWS_BUILD:-$src/build/windows}

if [ ! -f "$winsdk/qt6-mingw.tar.xz" ] || [ ! -f "$winsdk/mingw-w64-x86_64.cmake" ]; then
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
# The Linux-built simulator makes the meter line for the end-to-end test
# under Wine (there is no libmodbus for MinGW in Debian).
hostsim=${KELMAR_HOST_METERSIM:-}
for candidate in build/test build/dev build; do
  [ -n "$hostsim" ] && break
  [ -x "$candidate/tools/metersim/kelmar_metersim" ] && hostsim=$src/$candidate/tools/metersim/kelmar_metersim
done
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

status=0
(cd "$cross" && ctest --output-on-failure -j 2 "$@") || status=$?

(cd "$cross" && cpack -G NSIS >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; exit 1; }
setup=$(ls "$cross"/Kelmar_T-*-setup.exe)
ls -l "$setup"

# The setup program installs without questions; its uninstaller removes what
# it put in place and keeps the operator's files.
check=$WINEPREFIX/drive_c/Kelmar_T-check
rm -rf "$check"
wine "$setup" /S '/D=C:\Kelmar_T-check'
missing=()
for f in Kelmar_T.exe install_Kelmar_T.exe Qt6Core.dll Qt6Widgets.dll Qt6SerialPort.dll \
    libQCustomPlotQt6.dll libstdc++-6.dll platforms/qwindows.dll imageformats/qjpeg.dll \
    setup.ini meter.txt logo/vq2_366.jpg README.md LICENSE Uninstall.exe; do
  [ -f "$check/$f" ] || missing+=("$f")
done
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
  echo "The setup program installs silently; its uninstaller keeps setup.ini, meter.txt and records."
fi
wineserver -k >/dev/null 2>&1 || true
echo "Windows build, tests and setup program: $(( $(date +%s) - start )) s"
exit $status
