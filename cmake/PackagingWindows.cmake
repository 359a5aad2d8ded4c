# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows setup program, made by CPack's NSIS generator from the
# distribution folder (installed at the top of the install folder by
# dist/CMakeLists.txt) with the Qt and MinGW runtime beside the programs, the
# plugins they load, the README and the licence. Start-menu entries run
# Kelmar_T and install_Kelmar_T. Included from Packaging.cmake.

# What the programs load, as Qt's deployment tool would pick it: the libraries
# they link, the Windows platform plugin, JPEG for the panel pictures and the
# native style.
set(kelmar_qt_dlls Core Gui Widgets SerialPort PrintSupport Concurrent)
list(TRANSFORM kelmar_qt_dlls PREPEND ${KELMAR_QT_BIN}/Qt6)
list(TRANSFORM kelmar_qt_dlls APPEND .dll)
install(FILES ${kelmar_qt_dlls} ${KELMAR_QT_BIN}/libQCustomPlotQt6.dll ${KELMAR_MINGW_RUNTIME}
  DESTINATION .)
foreach(plugin platforms/qwindows imageformats/qjpeg styles/qwindowsvistastyle)
  get_filename_component(folder ${plugin} DIRECTORY)
  if(EXISTS ${KELMAR_QT_PLUGINS}/${plugin}.dll)
    install(FILES ${KELMAR_QT_PLUGINS}/${plugin}.dll DESTINATION ${folder})
  elseif(NOT plugin MATCHES "^styles/")
    message(WARNING "The setup program lacks the Qt plugin ${plugin}.dll")
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_FILE_NAME Kelmar_T-${PROJECT_VERSION}-setup)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Kelmar_T)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Kelmar_T)
set(CPACK_NSIS_PACKAGE_NAME Kelmar_T)
set(CPACK_NSIS_DISPLAY_NAME Kelmar_T)
# Without it NSIS makes a 32-bit setup program, which 64-bit-only Windows
# installations (and wine64) cannot start.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_INSTALLED_ICON_NAME Kelmar_T.exe)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN Kelmar_T.exe)
set(CPACK_PACKAGE_EXECUTABLES Kelmar_T Kelmar_T install_Kelmar_T "Install Kelmar_T")
set(CPACK_NSIS_MENU_LINKS README.md "Kelmar_T README")

# The uninstaller removes what the setup program put in place. The operator's
# files stay, as on Linux: setup.ini and meter.txt (shipped, then edited),
# meters.ini, publish.ini and records in the install folder are never in its
# list, and the two shipped ones are set aside before the files go and put
# back after.
set(kelmar_kept_files setup.ini meter.txt)
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "")
foreach(f ${kelmar_kept_files})
  string(APPEND CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
    "  Rename '$INSTDIR\\\\${f}' '$INSTDIR\\\\${f}.kept'\n")
  string(APPEND CPACK_NSIS_DELETE_ICONS_EXTRA
    "  Rename '$INSTDIR\\\\${f}.kept' '$INSTDIR\\\\${f}'\n")
endforeach()

include(CPack)
