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
if(KELMAR_HAVE_NETWORK OR TARGET kelmar_publish)
  list(APPEND kelmar_qt_dlls Network)
endif()
list(TRANSFORM kelmar_qt_dlls PREPEND ${KELMAR_QT_BIN}/Qt6)
list(TRANSFORM kelmar_qt_dlls APPEND .dll)
install(FILES ${kelmar_qt_dlls} ${KELMAR_QT_BIN}/libQCustomPlotQt6.dll ${KELMAR_MINGW_RUNTIME}
  DESTINATION .)

# Publishing: libmosquitto and the OpenSSL it speaks TLS through, beside it
# in the prefix, with their licence texts; the licence page shows them after
# Kelmar_T's own licence.
set(kelmar_licence_page ${PROJECT_SOURCE_DIR}/LICENSE)
if(TARGET kelmar_publish)
  get_filename_component(mosquitto_bin ${Mosquitto_DLL} DIRECTORY)
  set(kelmar_library_dlls ${Mosquitto_DLL})
  foreach(dll libssl-3-x64.dll libcrypto-3-x64.dll)
    if(NOT EXISTS ${mosquitto_bin}/${dll})
      message(FATAL_ERROR "libmosquitto needs ${dll}, which is not beside it in ${mosquitto_bin}")
    endif()
    list(APPEND kelmar_library_dlls ${mosquitto_bin}/${dll})
  endforeach()
  install(FILES ${kelmar_library_dlls} DESTINATION .)
  set(kelmar_licences ${PROJECT_SOURCE_DIR}/dist/licences/OpenSSL.txt
    ${PROJECT_SOURCE_DIR}/dist/licences/libmosquitto.txt)
  install(FILES ${kelmar_licences} DESTINATION licences)
  set(kelmar_licence_page ${PROJECT_BINARY_DIR}/package/licence-page.txt)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE page)
  string(APPEND page "\n\n"
    "==========================================================================\n"
    "Kelmar_T is licensed as above. The setup program also installs these\n"
    "libraries, each under its own licence (also in the folder licences):\n"
    "  libmosquitto.dll: Eclipse Public License 2.0 or Eclipse Distribution License 1.0\n"
    "  libssl-3-x64.dll, libcrypto-3-x64.dll (OpenSSL): Apache License 2.0\n"
    "==========================================================================\n")
  foreach(licence ${kelmar_licences})
    file(READ ${licence} text)
    string(APPEND page "\n\n" "${text}")
  endforeach()
  file(WRITE ${kelmar_licence_page} "${page}")
endif()
# Qt's own Chinese catalogue (dialog buttons, file dialogs), which the
# programs look for in translations beside them; the prefix has none, the
# build machine's Qt of the same version has it.
set(kelmar_qt_catalogue ${QT_HOST_PATH}/share/qt6/translations/qtbase_zh_TW.qm)
if(EXISTS ${kelmar_qt_catalogue})
  install(FILES ${kelmar_qt_catalogue} DESTINATION translations)
else()
  message(WARNING "The setup program lacks Qt's Chinese catalogue: install qt6-translations-l10n")
endif()
set(CPACK_RESOURCE_FILE_LICENSE ${kelmar_licence_page})
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
