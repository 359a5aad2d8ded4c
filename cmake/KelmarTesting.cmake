# SPDX-License-Identifier: GPL-3.0-or-later
# kelmar_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>]
#                 [DECIMAL_COMMA] [NOT_ON_WINDOWS <reason>])
# Builds one Qt Test executable and registers it with CTest. Tests run
# offscreen and find their fixtures through KELMAR_SOURCE_DIR and
# KELMAR_BINARY_DIR, never through the working directory. DECIMAL_COMMA
# registers the same program a second time, as <name>_decimalcomma, under a
# locale whose decimal separator is a comma; that run fails at once when the
# locale is not really in force. NOT_ON_WINDOWS leaves the program out of a
# Windows build and lists the test there as not run (disabled), with the reason.
set(KELMAR_TEST_ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen"
  "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# Under Wine a test cannot start the build machine's programs (the
# simulator, mosquitto, openssl, python3): tools/wine-host.py, started once
# as a CTest fixture, starts them for it (tests/support/hostprocess.h).
function(kelmar_wine_host_fixture)
  get_property(done GLOBAL PROPERTY KELMAR_WINE_HOST_FIXTURE)
  if(done)
    return()
  endif()
  set_property(GLOBAL PROPERTY KELMAR_WINE_HOST_FIXTURE ON)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(dir ${PROJECT_BINARY_DIR}/wine-host)
  add_test(NAME wine_host_start COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/wine-host.py start ${dir})
  add_test(NAME wine_host_stop COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/wine-host.py stop ${dir})
  # The simulator of a sanitized Linux build ends by a signal: no leak report.
  set_tests_properties(wine_host_start PROPERTIES FIXTURES_SETUP wine_host
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  set_tests_properties(wine_host_stop PROPERTIES FIXTURES_CLEANUP wine_host)
endfunction()

function(kelmar_add_test name)
  cmake_parse_arguments(T "DECIMAL_COMMA" "TIMEOUT;NOT_ON_WINDOWS" "SOURCES;LIBS;LABELS" ${ARGN})
  if(WIN32 AND T_NOT_ON_WINDOWS)
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo
      "${name} does not apply on Windows: ${T_NOT_ON_WINDOWS}")
    set_tests_properties(${name} PROPERTIES DISABLED TRUE LABELS "${T_LABELS};not-on-windows")
    return()
  endif()
  if(T_DECIMAL_COMMA)
    list(APPEND T_SOURCES ${PROJECT_SOURCE_DIR}/tests/support/decimalcomma.cpp)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test kelmar_options)
  target_compile_definitions(${name} PRIVATE
    KELMAR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KELMAR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(environment ${KELMAR_TEST_ENVIRONMENT})
  set(fixtures "")
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    kelmar_wine_host_fixture()
    kelmar_wine_path(port_file ${PROJECT_BINARY_DIR}/wine-host/port)
    list(APPEND environment "KELMAR_WINE_HOST=${port_file}" "KELMAR_HOST_METERSIM=${KELMAR_HOST_METERSIM}")
    set(fixtures wine_host)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "${environment}"
    FIXTURES_REQUIRED "${fixtures}")
  if(T_DECIMAL_COMMA)
    add_test(NAME ${name}_decimalcomma COMMAND ${name})
    set_tests_properties(${name}_decimalcomma PROPERTIES
      TIMEOUT ${T_TIMEOUT}
      LABELS "${T_LABELS}"
      ENVIRONMENT "${environment};LC_ALL=de_DE.UTF-8;LANG=de_DE.UTF-8;KELMAR_EXPECT_DECIMAL_COMMA=1"
      FIXTURES_REQUIRED "${fixtures}")
    # Wine keeps one user locale per prefix, taken from the Unix locale of
    # the program that starts last: another test at the same time would
    # switch it back.
    if(WIN32)
      set_tests_properties(${name}_decimalcomma PROPERTIES RUN_SERIAL TRUE)
    endif()
  endif()
endfunction()
