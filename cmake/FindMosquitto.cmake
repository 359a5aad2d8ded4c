# SPDX-License-Identifier: GPL-3.0-or-later
# Finds libmosquitto, the MQTT client library (C):
#   Mosquitto_FOUND, Mosquitto_VERSION, the imported target Mosquitto::Mosquitto
#   and, for Windows, Mosquitto_DLL (the DLL the setup program ships).
# pkg-config only gives hints, where it may be used: a cross build switches it
# off (its pkg-config would name the build machine's library), and there the
# header and library are found below CMAKE_PREFIX_PATH and the toolchain's
# root path, as in the Windows prefix (include/mosquitto.h,
# lib/libmosquitto.dll.a, bin/libmosquitto.dll).
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PC_Mosquitto QUIET libmosquitto)
endif()

find_path(Mosquitto_INCLUDE_DIR mosquitto.h HINTS ${PC_Mosquitto_INCLUDE_DIRS})
find_library(Mosquitto_LIBRARY NAMES mosquitto HINTS ${PC_Mosquitto_LIBRARY_DIRS})

if(Mosquitto_INCLUDE_DIR AND EXISTS "${Mosquitto_INCLUDE_DIR}/mosquitto.h")
  file(STRINGS "${Mosquitto_INCLUDE_DIR}/mosquitto.h" version_lines
    REGEX "^#define LIBMOSQUITTO_(MAJOR|MINOR|REVISION) +[0-9]+")
  foreach(part MAJOR MINOR REVISION)
    string(REGEX REPLACE ".*#define LIBMOSQUITTO_${part} +([0-9]+).*" "\\1" v_${part} "${version_lines}")
  endforeach()
  set(Mosquitto_VERSION "${v_MAJOR}.${v_MINOR}.${v_REVISION}")
endif()

set(mosquitto_required Mosquitto_LIBRARY Mosquitto_INCLUDE_DIR)
if(WIN32 AND Mosquitto_LIBRARY)
  # The import library lies in <prefix>/lib, the DLL in <prefix>/bin.
  get_filename_component(mosquitto_lib_dir "${Mosquitto_LIBRARY}" DIRECTORY)
  find_file(Mosquitto_DLL libmosquitto.dll mosquitto.dll
    PATHS "${mosquitto_lib_dir}/../bin" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  list(APPEND mosquitto_required Mosquitto_DLL)
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Mosquitto
  REQUIRED_VARS ${mosquitto_required}
  VERSION_VAR Mosquitto_VERSION)
mark_as_advanced(Mosquitto_INCLUDE_DIR Mosquitto_LIBRARY Mosquitto_DLL)

if(Mosquitto_FOUND AND NOT TARGET Mosquitto::Mosquitto)
  add_library(Mosquitto::Mosquitto UNKNOWN IMPORTED)
  set_target_properties(Mosquitto::Mosquitto PROPERTIES
    IMPORTED_LOCATION "${Mosquitto_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Mosquitto_INCLUDE_DIR}")
endif()
