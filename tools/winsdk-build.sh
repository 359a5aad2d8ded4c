#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the prefix that tools/windows.sh cross-builds Kelmar_T with: Qt 6.4.2
# (qtbase with Network, qtserialport), QCustomPlot 2.1.0, OpenSSL 3 and
# libmosquitto for Windows x86_64, built on Debian 12 with Debian's MinGW-w64
# (posix threads) and Debian's host Qt tools of the same version. About an
# hour and a quarter on two cores (qtbase is nearly all of it).
#
#   tools/winsdk-build.sh <winsdk folder> [step...]
#
# Steps, in order: clean qtbase qtserialport qcustomplot openssl mosquitto pc
# tar (all of them when none is named; naming some reuses the work folder and
# the prefix as they are, so a failed step can be rerun alone). Every build
# runs under nice -n 19.
#
# The folder receives qt6-mingw.tar.xz (the relocatable prefix, unpacking to
# qt6-mingw/) and mingw-w64-x86_64.cmake (the toolchain file), and the
# patches it applies, taken from tools/winsdk/ where the folder has none yet
# (qtbase-dynamicgl.patch, qtbase-direct2d-off.patch, mosquitto-mingw.patch).
# Sources, all but one from Debian bookworm's source packages: qt6-base
# 6.4.2+dfsg-10 (Debian's patches not applied, as before; among them are two
# fixes for Qt Network: cve-2023-32762.diff, HSTS header parsing for
# QNetworkAccessManager, which Kelmar_T does not use, and
# cve-2023-33285.diff, DNS lookup on Unix, not built for Windows), openssl
# 3.0.20-1~deb12u2 and mosquitto 2.0.11-1.2+deb12u2 (Debian's patches
# applied: security fixes and packaging), qcustomplot 2.1.0+dfsg1-3.1
# (Debian's patches applied: Qt 6 needs them); qtserialport from Qt's
# repository at tag v6.4.2 (Debian's mirror has no usable qt6-serialport
# source tarball). Where code.qt.io cannot be reached, point
# KELMAR_QTSERIALPORT_GIT at a local clone (bare or not) that has the tag.
set -euo pipefail
out=${1:?usage: tools/winsdk-build.sh <winsdk folder> [step...]}
shift
steps=("$@")
[ ${#steps[@]} -eq 0 ] && steps=(clean qtbase qtserialport qcustomplot openssl mosquitto pc tar)
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=${KELMAR_WINSDK_WORK:-$src/build/winsdk-work}
jobs=${KELMAR_JOBS:-$(nproc)}
mkdir -p "$work"
work=$(cd "$work" && pwd)
for p in qtbase-dynamicgl.patch qtbase-direct2d-off.patch mosquitto-mingw.patch; do
  [ -f "$out/$p" ] || cp "$src/tools/winsdk/$p" "$out/$p"
done
cd "$work"

# Debian packages the build needs (tools/deps.sh does the same for the
# project's own lists; this script also runs outside a checkout).
packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  qt6-base-dev-tools cmake ninja-build git dpkg-dev xz-utils patch perl make)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

prefix=$work/qt6-mingw
toolchain=$out/mingw-w64-x86_64.cmake
has_step() { local s; for s in "${steps[@]}"; do [ "$s" = "$1" ] && return 0; done; return 1; }
timed() { # label command...: runs the command at low priority, logs its time
  local t0=$SECONDS
  nice -n 19 "${@:2}"
  echo "$1: $((SECONDS - t0)) s" | tee -a "$work/timings.txt"
}
has_step clean && rm -rf "$prefix" "$work/timings.txt"

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

# Debian's sources need a deb-src entry; one of our own (bookworm main, where
# every version named here lies) is used when the system has none.
fetch_debian_source() { # package version [--skip-patches]
  if ! apt-get source --download-only "$1=$2" >/dev/null 2>&1; then
    local list=$work/sources.list
    # The archive the system already installs from, as a deb-src entry.
    local uri
    uri=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
    [ -n "$uri" ] || uri=$(sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) .*/\2/p' /etc/apt/sources.list 2>/dev/null | head -n 1)
    echo "deb-src $uri bookworm main" >"$list"
    local opts=(-o Dir::Etc::SourceList="$list" -o Dir::Etc::SourceParts=/dev/null
      -o Dir::State::Lists="$work/lists")
    mkdir -p "$work/lists/partial"
    apt-get "${opts[@]}" update
    apt-get "${opts[@]}" source --download-only "$1=$2"
  fi
  dpkg-source -x ${3:-} "$(ls "$1"_"${2#*:}".dsc)" "$work/$1"
}

# qtbase: the modules Kelmar_T uses (Network included, for the TCP
# transports; TLS through Windows' own Schannel, Qt's OpenSSL backend off
# and the prefix's OpenSSL not looked for, so a rerun after the openssl step
# gives the same files),
# the windows and offscreen platforms, bundled third-party libraries. Two
# patches let the windows plugin build without OpenGL and without Direct2D.
if has_step qtbase; then
  if [ ! -d qt6-base ]; then
    fetch_debian_source qt6-base 6.4.2+dfsg-10 --skip-patches
    for p in qtbase-dynamicgl.patch qtbase-direct2d-off.patch; do
      if [ -f "$out/$p" ]; then
        patch -d qt6-base -p0 <"$out/$p"
      else
        echo "$out/$p is missing: the windows plugin may not build" >&2
      fi
    done
  fi
  timed "qtbase configure" cmake -S qt6-base -B build-qtbase "${cross[@]}" "${host[@]}" \
    -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=ON -DINPUT_openssl=no -DFEATURE_xml=OFF -DFEATURE_dbus=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_WrapOpenSSLHeaders=ON -DCMAKE_DISABLE_FIND_PACKAGE_WrapOpenSSL=ON \
    -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF \
    -DFEATURE_freetype=ON -DFEATURE_fontconfig=OFF -DFEATURE_gif=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_pkg_config=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_system_freetype=OFF
  timed "qtbase build" cmake --build build-qtbase -j "$jobs"
  timed "qtbase install" cmake --install build-qtbase
fi

# qtserialport from Qt's repository (or a local clone of it).
if has_step qtserialport; then
  if [ ! -d qtserialport ]; then
    if [ -n "${KELMAR_QTSERIALPORT_GIT:-}" ]; then
      git -C "$KELMAR_QTSERIALPORT_GIT" archive --prefix=qtserialport/ v6.4.2 | tar -x
    else
      git clone --depth 1 --branch v6.4.2 https://code.qt.io/qt/qtserialport.git
    fi
  fi
  timed "qtserialport configure" cmake -S qtserialport -B build-qtserialport "${cross[@]}" "${host[@]}" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  timed "qtserialport build" cmake --build build-qtserialport -j "$jobs"
  timed "qtserialport install" cmake --install build-qtserialport
fi

# QCustomPlot: one source file, built as the shared library the Debian
# package makes, with the CMake package name Kelmar_T looks for.
if has_step qcustomplot; then
  # Debian's patches are needed here: 02_fix_header_build.patch makes QCP a
  # Q_NAMESPACE (moc output for Qt 6 does not compile without it); our
  # CMakeLists replaces the one 01_add_CMake_config_material.patch adds.
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
  timed "qcustomplot configure" cmake -S qcustomplot -B build-qcustomplot "${cross[@]}" "${host[@]}"
  timed "qcustomplot build" cmake --build build-qcustomplot -j "$jobs"
  timed "qcustomplot install" cmake --install build-qcustomplot
fi

# OpenSSL 3, shared: bin/libcrypto-3-x64.dll, bin/libssl-3-x64.dll, the
# import libraries in lib, the headers. OpenSSL 3.0 knows no "no-docs":
# install_sw installs everything but the manuals. --libdir=lib, else lib64.
# The directories compiled into libcrypto (openssl.cnf, engines, providers)
# would be build paths below the prefix, which any Windows user could create
# (C:\tmp\...: CVE-2019-1552); they are set to Windows' admin-only places
# instead, as OpenSSL's own Windows builds have them.
if has_step openssl; then
  [ -d openssl ] || fetch_debian_source openssl 3.0.20-1~deb12u2
  rm -rf build-openssl
  mkdir build-openssl
  (cd build-openssl &&
    timed "openssl configure" perl ../openssl/Configure mingw64 \
      --cross-compile-prefix=x86_64-w64-mingw32- shared no-tests \
      --prefix="$prefix" --libdir=lib &&
    timed "openssl build" make -j "$jobs" \
      OPENSSLDIR="C:/Program Files/Common Files/SSL" \
      ENGINESDIR="C:/Program Files/OpenSSL/lib/engines-3" \
      MODULESDIR="C:/Program Files/OpenSSL/lib/ossl-modules" &&
    timed "openssl install" make install_sw)
  # Shared only: the static libraries "shared" builds as well go.
  rm -f "$prefix/lib/libcrypto.a" "$prefix/lib/libssl.a"
fi

# libmosquitto: the MQTT client library (C) only, TLS through that OpenSSL,
# threads through MinGW-w64's winpthreads. The patch: mosquitto's CMake
# assumes a pthreads-win32 install on every Windows build, and does not
# install the import library (no ARCHIVE DESTINATION).
if has_step mosquitto; then
  if [ ! -d mosquitto ]; then
    fetch_debian_source mosquitto 2.0.11-1.2+deb12u2
    patch -d mosquitto -p0 <"$out/mosquitto-mingw.patch"
  fi
  timed "mosquitto configure" cmake -S mosquitto -B build-mosquitto "${cross[@]}" \
    -DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF \
    -DDOCUMENTATION=OFF -DWITH_CJSON=OFF -DWITH_STATIC_LIBRARIES=OFF -DWITH_LIB_CPP=OFF \
    -DWITH_TLS=ON -DOPENSSL_ROOT_DIR="$prefix" -DWITH_THREADING=ON
  timed "mosquitto build" cmake --build build-mosquitto -j "$jobs"
  timed "mosquitto install" cmake --install build-mosquitto
  # The C library only: the C++ wrapper's pkg-config file is installed even
  # when the wrapper is not built.
  rm -f "$prefix/lib/pkgconfig/libmosquittopp.pc"
fi

# pkg-config files name the prefix by their own place, not the build path.
if has_step pc; then
  sed -i 's|^prefix=.*|prefix=${pcfiledir}/../..|' "$prefix"/lib/pkgconfig/*.pc
fi

if has_step tar; then
  timed "tar" tar -C "$work" -cJf "$out/qt6-mingw.tar.xz" qt6-mingw
  echo "Made $out/qt6-mingw.tar.xz and $toolchain"
fi
