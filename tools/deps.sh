# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by run.sh and test.sh: installs the Debian packages the build,
# the tests and the simulated meter line need, when any is missing.
KELMAR_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  qt6-l10n-tools qt6-translations-l10n
  libqcustomplot-dev
  libmodbus-dev socat python3-pymodbus python3-serial python3-serial-asyncio
  libmosquitto-dev mosquitto mosquitto-clients openssl
  clang libclang-rt-14-dev
  fonts-arphic-ukai fonts-arphic-uming fonts-liberation2
  desktop-file-utils dpkg-dev file lintian
  locales
)

# The Windows build (tools/windows.sh): MinGW-w64 with posix threads, Wine to
# run the tests, NSIS for the setup program, Debian's host Qt tools (moc and
# the like) of the prefix's version, the fonts the tests draw with, the Linux
# programs the tests under Wine start outside it (tools/wine-host.py) and an
# X server without a screen for starting the installed programs' windows.
KELMAR_WINDOWS_PACKAGES=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  wine64 wine nsis qt6-base-dev-tools qt6-l10n-tools qt6-translations-l10n socat xvfb python3 mosquitto mosquitto-clients openssl
  fonts-arphic-ukai fonts-arphic-uming fonts-liberation2
)

# Number-formatting tests also run under this locale, whose decimal
# separator is a comma; it is generated when the machine lacks it.
KELMAR_COMMA_LOCALE=de_DE.UTF-8

ensure_comma_locale() {
  locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Generating the locale $KELMAR_COMMA_LOCALE"
  $sudo localedef -i de_DE -f UTF-8 "$KELMAR_COMMA_LOCALE"
}

ensure_deps() {
  ensure_deps_packages && ensure_comma_locale
}

ensure_deps_packages() {
  local missing=()
  local p
  for p in "${KELMAR_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "Missing packages: ${missing[*]}" >&2
      echo "Install them as root (apt-get install ${missing[*]}), or install sudo." >&2
      return 1
    fi
    sudo="sudo"
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
