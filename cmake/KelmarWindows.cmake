# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build made on Debian with MinGW-w64 (tools/windows.sh): the
# programs and tests run under Wine, through one generated wrapper that gives
# them the Qt DLLs, the MinGW runtime, fonts and the QT_ settings Wine would
# otherwise drop. Included by the top CMakeLists.txt when cross-compiling for
# Windows, after Qt is found and before any target is made.

# The toolchain names the emulator (Wine); the wrapper runs it.
set(KELMAR_WINE ${CMAKE_CROSSCOMPILING_EMULATOR})
if(NOT KELMAR_WINE)
  find_program(KELMAR_WINE NAMES wine wine64 REQUIRED)
endif()

# Qt's DLLs and plugins: <prefix>/bin and <prefix>/plugins.
get_filename_component(KELMAR_QT_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)
set(KELMAR_QT_BIN ${KELMAR_QT_PREFIX}/bin)
set(KELMAR_QT_PLUGINS ${KELMAR_QT_PREFIX}/plugins)

# The MinGW runtime DLLs: libstdc++ and libgcc beside the compiler's libgcc,
# winpthread in the target's lib folder.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
  OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(KELMAR_MINGW_GCC_DIR "${libgcc}" DIRECTORY)
find_file(KELMAR_MINGW_PTHREAD_DLL libwinpthread-1.dll
  PATHS /usr/x86_64-w64-mingw32/lib /usr/x86_64-w64-mingw32/bin NO_DEFAULT_PATH)
get_filename_component(KELMAR_MINGW_PTHREAD_DIR "${KELMAR_MINGW_PTHREAD_DLL}" DIRECTORY)
set(KELMAR_MINGW_RUNTIME
  ${KELMAR_MINGW_GCC_DIR}/libstdc++-6.dll
  ${KELMAR_MINGW_GCC_DIR}/libgcc_s_seh-1.dll
  ${KELMAR_MINGW_PTHREAD_DLL})

# Wine sees the Unix root as drive Z:.
function(kelmar_wine_path out unix_path)
  string(REPLACE "/" "\\" p "Z:${unix_path}")
  set(${out} "${p}" PARENT_SCOPE)
endfunction()

set(wine_dirs ${KELMAR_QT_BIN} ${KELMAR_MINGW_GCC_DIR} ${KELMAR_MINGW_PTHREAD_DIR})
set(KELMAR_WINE_PATH "")
foreach(dir ${wine_dirs})
  kelmar_wine_path(p ${dir})
  string(APPEND KELMAR_WINE_PATH "${p};")
endforeach()

# One folder holding the fonts that stand in for the Windows faces.
set(fontdir ${PROJECT_BINARY_DIR}/wine-fonts)
file(MAKE_DIRECTORY ${fontdir})
file(GLOB fonts /usr/share/fonts/truetype/arphic/*.ttc /usr/share/fonts/truetype/liberation2/*.ttf)
foreach(font ${fonts})
  get_filename_component(name ${font} NAME)
  file(CREATE_LINK ${font} ${fontdir}/${name} SYMBOLIC)
endforeach()
kelmar_wine_path(KELMAR_WINE_FONTDIR ${fontdir})

# A Wine prefix of the build's own, away from the user's ~/.wine.
set(KELMAR_WINE_PREFIX ${PROJECT_BINARY_DIR}/wineprefix)

configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in ${PROJECT_BINARY_DIR}/wine-run.sh
  @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run.sh)
