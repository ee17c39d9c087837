# What the service object registers, from one description. serviceobject/com/kirnow.idl holds
# what the type library carries: the uuids of the class, the interface, the event interface and
# the library, the library's version, and the class's and the library's helpstrings (the names
# the registry shows for them). This file adds only what an IDL cannot say: the ProgIDs, the name
# of the OPOS device entry, and the class of the OPOS LineDisplay control object (published by
# the OPOS Common Control Objects; Polecheck hosts it and the package looks for it).
#
# Every consumer takes the values from here:
#   - the C++ (through serviceobject/com/guids.h): generated/kirnow_guids.h, an _STR (registry
#     form) and an _INIT (GUID initialiser) macro per identity, and the names as string macros;
#   - kirnow.rgs, as %CLSID%, %LIBID%, %PROGID%, %VIPROGID% and %DESCRIPTION%, which the registrar
#     fills from those macros when the library registers itself (registrar::ServerReplacements);
#   - the Windows Installer package (packaging/): the CMake variables set below;
#   - the Wine stages (tests/wine/*.sh) and scripts/run.sh: generated/kirnow_registration.sh,
#     shell assignments.
# One file writes two of them again, and is checked: packaging/JQPoleDisplay.reg, the
# device entry a person imports by hand on Windows, spells out the device name and the ProgID
# (a .reg file cannot take them from elsewhere); configuring stops when it names others.
set(kirnow_idl ${CMAKE_SOURCE_DIR}/serviceobject/com/kirnow.idl)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kirnow_idl})
file(READ ${kirnow_idl} kirnow_idl_text)

set(KIRNOW_PROGID "JQ.POSLDisplay.1")
set(KIRNOW_VIPROGID "JQ.POSLDisplay")
set(KIRNOW_DEVICE_NAME "JQ POS POLE DISPLAY")
set(KIRNOW_CONTROL_CLSID "{CCB90102-B81E-11D2-AB74-0040054C3719}")
# JQPoleDisplay.reg must name the same device entry and ProgID.
set(kirnow_device_reg ${CMAKE_SOURCE_DIR}/packaging/JQPoleDisplay.reg)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kirnow_device_reg})
file(READ ${kirnow_device_reg} kirnow_device_reg_text)
string(REGEX MATCH "\\[HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\OLEforRetail\\\\ServiceOPOS\\\\LineDisplay\\\\([^]\r\n]*)\\][\r\n]+@=\"([^\"]*)\""
       kirnow_device_entry "${kirnow_device_reg_text}")
if(NOT CMAKE_MATCH_1 STREQUAL KIRNOW_DEVICE_NAME OR NOT CMAKE_MATCH_2 STREQUAL KIRNOW_PROGID)
  message(FATAL_ERROR "JQPoleDisplay.reg: the device entry must be '${KIRNOW_DEVICE_NAME}' naming "
                      "'${KIRNOW_PROGID}', not '${CMAKE_MATCH_1}' naming '${CMAKE_MATCH_2}'")
endif()
# The IDL's names of the class, the interfaces and the library, under which it is read.
set(KIRNOW_CLASS_IDL_NAME POSLDisplay)
set(KIRNOW_INTERFACE_NAME IPOSLDisplay)
set(KIRNOW_EVENTS_NAME _IPOSLDisplayEvents)
set(KIRNOW_LIBRARY_IDL_NAME KirnowLib)

# The value of attribute `attr` (uuid, version, helpstring) in the attribute list of the IDL's
# `kind name` (interface IPOSLDisplay, library KirnowLib, ...).
function(kirnow_idl_attribute out_var attr kind name)
  if(attr STREQUAL "helpstring")
    set(value_re "helpstring\\(\"([^\"]*)\"\\)")
  else()
    set(value_re "${attr}\\(([-.0-9A-Fa-f]+)\\)")
  endif()
  string(REGEX MATCH "${value_re}[^]]*\\][ \t\r\n]*${kind}[ \t\r\n]+${name}[^A-Za-z0-9_]"
         found "${kirnow_idl_text}")
  if(NOT found)
    message(FATAL_ERROR "kirnow.idl: no ${attr} for ${kind} ${name}")
  endif()
  set(${out_var} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

# Appends to `out_var` the _STR and _INIT macros of GUID `guid` (with or without braces).
function(kirnow_guid_macros out_var macro guid)
  string(REGEX REPLACE "[{}]" "" g "${guid}")
  string(TOUPPER "${g}" g)
  string(SUBSTRING "${g}" 0 8 d1)
  string(SUBSTRING "${g}" 9 4 d2)
  string(SUBSTRING "${g}" 14 4 d3)
  set(d4 "")
  foreach(at 19 21 24 26 28 30 32 34)
    string(SUBSTRING "${g}" ${at} 2 byte)
    list(APPEND d4 "0x${byte}")
  endforeach()
  list(JOIN d4 ", " d4)
  set(${out_var} "${${out_var}}#define ${macro}_STR \"{${g}}\"
#define ${macro}_INIT {0x${d1}, 0x${d2}, 0x${d3}, {${d4}}}
" PARENT_SCOPE)
endfunction()

kirnow_idl_attribute(clsid uuid coclass ${KIRNOW_CLASS_IDL_NAME})
kirnow_idl_attribute(libid uuid library ${KIRNOW_LIBRARY_IDL_NAME})
kirnow_idl_attribute(iid uuid interface ${KIRNOW_INTERFACE_NAME})
kirnow_idl_attribute(diid uuid dispinterface ${KIRNOW_EVENTS_NAME})
kirnow_idl_attribute(KIRNOW_TYPELIB_VERSION version library ${KIRNOW_LIBRARY_IDL_NAME})
kirnow_idl_attribute(KIRNOW_TYPELIB_NAME helpstring library ${KIRNOW_LIBRARY_IDL_NAME})
kirnow_idl_attribute(KIRNOW_CLASS_DESCRIPTION helpstring coclass ${KIRNOW_CLASS_IDL_NAME})
foreach(id clsid libid iid diid)
  string(TOUPPER "{${${id}}}" ${id})
endforeach()
set(KIRNOW_CLSID ${clsid})
set(KIRNOW_LIBID ${libid})
set(KIRNOW_IID_DISPLAY ${iid})
set(KIRNOW_IID_EVENTS ${diid})

set(kirnow_guid_text "")
kirnow_guid_macros(kirnow_guid_text KIRNOW_CLSID_POSLDISPLAY ${KIRNOW_CLSID})
kirnow_guid_macros(kirnow_guid_text KIRNOW_LIBID_KIRNOWLIB ${KIRNOW_LIBID})
kirnow_guid_macros(kirnow_guid_text KIRNOW_IID_IPOSLDISPLAY ${KIRNOW_IID_DISPLAY})
kirnow_guid_macros(kirnow_guid_text KIRNOW_DIID_IPOSLDISPLAYEVENTS ${KIRNOW_IID_EVENTS})
kirnow_guid_macros(kirnow_guid_text OPOS_CLSID_LINEDISPLAY ${KIRNOW_CONTROL_CLSID})
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/kirnow_guids.h
     CONTENT "// Generated from cmake/registration.cmake and serviceobject/com/kirnow.idl at configure
// time; do not edit.
#pragma once

@kirnow_guid_text@
#define KIRNOW_PROGID \"@KIRNOW_PROGID@\"
#define KIRNOW_VERSION_INDEPENDENT_PROGID \"@KIRNOW_VIPROGID@\"
#define KIRNOW_CLASS_DESCRIPTION \"@KIRNOW_CLASS_DESCRIPTION@\"
" @ONLY)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/kirnow_registration.sh
     CONTENT "# Generated from cmake/registration.cmake and serviceobject/com/kirnow.idl at configure
# time; do not edit. What the service object registers, for the Wine stages and scripts/run.sh
# (sourced).
kirnow_clsid='@KIRNOW_CLSID@'
kirnow_libid='@KIRNOW_LIBID@'
kirnow_iid='@KIRNOW_IID_DISPLAY@'
kirnow_diid='@KIRNOW_IID_EVENTS@'
kirnow_progid='@KIRNOW_PROGID@'
kirnow_viprogid='@KIRNOW_VIPROGID@'
kirnow_device_name='@KIRNOW_DEVICE_NAME@'
opos_control_clsid='@KIRNOW_CONTROL_CLSID@'
" @ONLY)
