#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Qt prefix that tools/windows.sh cross-builds Kelmar_T with:
# Qt 6.4.2 (qtbase, qtserialport) and QCustomPlot 2.1.0 for Windows x86_64,
# built on Debian 12 with Debian's MinGW-w64 (posix threads) and Debian's host
# Qt tools of the same version. About an hour on two cores.
#
#   tools/winsdk-build.sh <winsdk folder>      (for example ../shared/winsdk)
#
# The folder receives qt6-mingw.tar.xz (the relocatable prefix, unpacking to
# qt6-mingw/) and mingw-w64-x86_64.cmake (the toolchain file). Sources:
# qtbase from Debian's source package qt6-base (6.4.2+dfsg-10), qtserialport
# from Qt's own repository at tag v6.4.2 (Debian's mirror has no usable
# qt6-serialport source tarball), QCustomPlot from Debian's source package
# qcustomplot (2.1.0+dfsg1-3.1) with a CMakeLists of our own.
set -euo pipefail
out=${1:?usage: tools/winsdk-build.sh <winsdk folder>}
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=${KELMAR_WINSDK_WORK:-$src/build/winsdk-work}
jobs=${KELMAR_JOBS:-$(nproc)}
mkdir -p "$work"
cd "$work"

source "$src/tools/deps.sh"
KELMAR_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  qt6-base-dev-tools cmake ninja-build git dpkg-dev xz-utils patch)
ensure_deps_packages

prefix=$work/qt6-mingw
toolchain=$out/mingw-w64-x86_64.cmake
rm -rf "$prefix"

# The toolchain file: Debian's MinGW-w64 with posix threads (Qt needs them);
# programs built for Windows run under Wine.
cat >"$toolchain" <<'TOOLCHAIN'
# Cross toolchain: Debian's MinGW-w64 (posix threads) for Windows x86_64.
# Pass the unpacked Qt prefix as -DQT_MINGW_PREFIX=/path/to/qt6-mingw (also use it as CMAKE_PREFIX_PATH),
# and -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake for Debian's host tools.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   /usr/bin/${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  /usr/bin/${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_AR           /usr/bin/${TOOLCHAIN_PREFIX}-ar)
set(CMAKE_RANLIB       /usr/bin/${TOOLCHAIN_PREFIX}-ranlib)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX} ${QT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs built for Windows run under Wine (ctest, custom commands that run built tools).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)
TOOLCHAIN

host=(-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
cross=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_MINGW_PREFIX="$prefix"
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release)

# Debian's sources need a deb-src entry; one of our own is used when the
# system has none.
fetch_debian_source() { # package version
  if ! apt-get source --download-only "$1=$2" >/dev/null 2>&1; then
    local list=$work/sources.list
    echo "deb-src http://deb.debian.org/debian bookworm main" >"$list"
    local opts=(-o Dir::Etc::SourceList="$list" -o Dir::Etc::SourceParts=/dev/null
      -o Dir::State::Lists="$work/lists")
    mkdir -p "$work/lists/partial"
    apt-get "${opts[@]}" update
    apt-get "${opts[@]}" source --download-only "$1=$2"
  fi
  dpkg-source -x --skip-patches "$(ls "$1"_"${2#*:}".dsc)" "$work/$1"
}

# qtbase: the modules Kelmar_T uses, the windows and offscreen platforms,
# bundled third-party libraries. Two patches let the windows plugin build
# without OpenGL and without Direct2D.
if [ ! -d qt6-base ]; then
  fetch_debian_source qt6-base 6.4.2+dfsg-10
  for p in qtbase-dynamicgl.patch qtbase-direct2d-off.patch; do
    if [ -f "$out/$p" ]; then
      patch -d qt6-base -p0 <"$out/$p"
    else
      echo "$out/$p is missing: the windows plugin may not build" >&2
    fi
  done
fi
cmake -S qt6-base -B build-qtbase "${cross[@]}" "${host[@]}" \
  -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF \
  -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF \
  -DFEATURE_freetype=ON -DFEATURE_fontconfig=OFF -DFEATURE_gif=OFF -DFEATURE_zstd=OFF \
  -DFEATURE_pkg_config=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_system_jpeg=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF \
  -DFEATURE_system_freetype=OFF
cmake --build build-qtbase -j "$jobs"
cmake --install build-qtbase

# qtserialport from Qt's repository.
[ -d qtserialport ] || git clone --depth 1 --branch v6.4.2 https://code.qt.io/qt/qtserialport.git
cmake -S qtserialport -B build-qtserialport "${cross[@]}" "${host[@]}" -DQT_BUILD_EXAMPLES=OFF \
  -DQT_BUILD_TESTS=OFF
cmake --build build-qtserialport -j "$jobs"
cmake --install build-qtserialport

# QCustomPlot: one source file, built as the shared library the Debian
# package makes, with the CMake package name Kelmar_T looks for.
[ -d qcustomplot ] || fetch_debian_source qcustomplot 2.1.0+dfsg1-3.1
cat >qcustomplot/CMakeLists.txt <<'QCP'
cmake_minimum_required(VERSION 3.22)
project(QCustomPlotQt6 VERSION 2.1.0 LANGUAGES CXX)
find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport)
set(CMAKE_AUTOMOC ON)
add_library(QCustomPlotQt6 SHARED qcustomplot.cpp qcustomplot.h)
target_compile_definitions(QCustomPlotQt6 PRIVATE QCUSTOMPLOT_COMPILE_LIBRARY
  INTERFACE QCUSTOMPLOT_USE_LIBRARY)
target_link_libraries(QCustomPlotQt6 PUBLIC Qt6::Widgets Qt6::PrintSupport)
target_include_directories(QCustomPlotQt6 PUBLIC $<INSTALL_INTERFACE:include>)
install(TARGETS QCustomPlotQt6 EXPORT QCustomPlotQt6Targets
  RUNTIME DESTINATION bin LIBRARY DESTINATION lib ARCHIVE DESTINATION lib)
install(FILES qcustomplot.h DESTINATION include)
install(EXPORT QCustomPlotQt6Targets NAMESPACE QCustomPlotQt6:: DESTINATION lib/cmake/QCustomPlotQt6)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/QCustomPlotQt6Config.cmake
  "include(CMakeFindDependencyMacro)\nfind_dependency(Qt6 COMPONENTS Widgets PrintSupport)\n"
  "include(\${CMAKE_CURRENT_LIST_DIR}/QCustomPlotQt6Targets.cmake)\n")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QCustomPlotQt6Config.cmake DESTINATION lib/cmake/QCustomPlotQt6)
QCP
cmake -S qcustomplot -B build-qcustomplot "${cross[@]}" "${host[@]}"
cmake --build build-qcustomplot -j "$jobs"
cmake --install build-qcustomplot

tar -C "$work" -cJf "$out/qt6-mingw.tar.xz" qt6-mingw
echo "Made $out/qt6-mingw.tar.xz and $toolchain"
