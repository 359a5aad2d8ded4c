# SPDX-License-Identifier: GPL-3.0-or-later
# Optional parts that need a library the build machine may lack. Each has a
# cache variable: AUTO (the default: built when the library is found), ON
# (configure fails when it is missing, so a build that must have the part
# cannot quietly lose it) or OFF.
#
#   kelmar_feature(<variable> <description>)
#     declares the variable and sets <variable>_MODE to AUTO, ON or OFF.
#   kelmar_feature_missing(<variable> <what is missing> <how to get it>)
#     fails with that message when the mode is ON, else says the part is left out.
include_guard(GLOBAL)

function(kelmar_feature var description)
  set(${var} AUTO CACHE STRING "${description}: AUTO (when found), ON (required) or OFF")
  set_property(CACHE ${var} PROPERTY STRINGS AUTO ON OFF)
  string(TOUPPER "${${var}}" value)
  if(value STREQUAL "AUTO")
    set(mode AUTO)
  elseif(value MATCHES "^(ON|YES|TRUE|Y|1)$")
    set(mode ON)
  elseif(value MATCHES "^(OFF|NO|FALSE|N|0)$")
    set(mode OFF)
  else()
    message(FATAL_ERROR "${var} is \"${${var}}\": it takes AUTO, ON or OFF")
  endif()
  set(${var}_MODE ${mode} PARENT_SCOPE)
endfunction()

function(kelmar_feature_missing var missing hint)
  if(${var}_MODE STREQUAL "ON")
    message(FATAL_ERROR "${var}=ON, but ${missing} was not found. ${hint} "
      "Or configure with -D${var}=AUTO (left out when missing) or -D${var}=OFF.")
  endif()
  message(STATUS "${missing} not found: ${var} is off in this build")
endfunction()
