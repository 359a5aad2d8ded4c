# SPDX-License-Identifier: GPL-3.0-or-later
# The packages, made with cmake --build <build> --target package (or cpack):
# on Linux the Debian package kelmar-t, on Windows an NSIS setup program.
# Both carry the distribution folder (rules in dist/CMakeLists.txt), the
# README as the user's documentation and the licence.
if(APPLE)
  return()
endif()

set(CPACK_PACKAGE_NAME kelmar-t)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelmar_T developers")
set(CPACK_PACKAGE_CONTACT "Kelmar_T developers <kelmar-t@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitor and data logger for Modbus RTU panel meters")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/PackagingWindows.cmake)
  return()
endif()

# The Debian package holds the distribution folder under /usr/lib/kelmar-t
# and a system menu entry that runs install_Kelmar_T from there, which
# installs for the user who starts it.

set(kelmar_package_root /usr)
set(KELMAR_PACKAGED_INSTALLER ${kelmar_package_root}/lib/kelmar-t/install_Kelmar_T)
set(kelmar_package_files ${PROJECT_BINARY_DIR}/package)
configure_file(${PROJECT_SOURCE_DIR}/dist/package/kelmar-t-install.desktop.in
  ${kelmar_package_files}/kelmar-t-install.desktop @ONLY)
install(FILES ${kelmar_package_files}/kelmar-t-install.desktop DESTINATION share/applications)

# Debian's documentation rules: a copyright file and a changelog packed
# without a name or time stamp.
configure_file(${PROJECT_SOURCE_DIR}/dist/package/changelog.in ${kelmar_package_files}/changelog @ONLY)
execute_process(COMMAND gzip -9 -n -c ${kelmar_package_files}/changelog
  OUTPUT_FILE ${kelmar_package_files}/changelog.gz
  RESULT_VARIABLE gzip_result)
if(NOT gzip_result EQUAL 0)
  message(WARNING "gzip failed (${gzip_result}): the package would lack its changelog")
endif()
install(FILES ${PROJECT_SOURCE_DIR}/dist/package/copyright ${kelmar_package_files}/changelog.gz
  ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION share/doc/kelmar-t)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kelmar_T polls up to six panel meters on one RS-485 line, shows their
readings over pictures of their front panels and writes them to record
files. The package holds the programs and their files under
/usr/lib/kelmar-t; the menu entry 安裝 Kelmar_T (install) installs
Kelmar_T for the current user from there.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${kelmar_package_root})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries come from the programs themselves (dpkg-shlibdeps); the
# fonts that stand in for the design faces and Qt's own catalogues (the
# dialogs' buttons in Chinese) cannot be found that way.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "fonts-arphic-ukai, fonts-arphic-uming, fonts-liberation2, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# A sanitized build would make the package depend on the sanitizer runtime
# and run slowly for its users: refuse it.
if(KELMAR_SANITIZE)
  file(WRITE ${kelmar_package_files}/refuse-sanitized.cmake
    "message(FATAL_ERROR \"This build uses -DKELMAR_SANITIZE=ON; configure another build "
    "without it to make the package.\")\n")
  set(CPACK_PRE_BUILD_SCRIPTS ${kelmar_package_files}/refuse-sanitized.cmake)
endif()

include(CPack)
