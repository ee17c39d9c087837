# The library's GUIDs come from kirnow.idl, the one description of the interface: each uuid(...)
# attribute before the interface, the event dispinterface, the class and the library becomes a
# _STR (registry form) and an _INIT (GUID initialiser) macro in generated/kirnow_guids.h.
set(kirnow_idl ${CMAKE_SOURCE_DIR}/serviceobject/com/kirnow.idl)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kirnow_idl})
file(READ ${kirnow_idl} kirnow_idl_text)

function(kirnow_guid_macros out_var macro kind name)
  string(REGEX MATCH "uuid\\(([-0-9A-Fa-f]+)\\)[^]]*\\][ \t\r\n]*${kind}[ \t\r\n]+${name}[^A-Za-z0-9_]"
         found "${kirnow_idl_text}")
  if(NOT found)
    message(FATAL_ERROR "kirnow.idl: no uuid for ${kind} ${name}")
  endif()
  string(TOUPPER "${CMAKE_MATCH_1}" g)
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

set(kirnow_guid_text "")
kirnow_guid_macros(kirnow_guid_text KIRNOW_CLSID_POSLDISPLAY coclass POSLDisplay)
kirnow_guid_macros(kirnow_guid_text KIRNOW_LIBID_KIRNOWLIB library KirnowLib)
kirnow_guid_macros(kirnow_guid_text KIRNOW_IID_IPOSLDISPLAY interface IPOSLDisplay)
kirnow_guid_macros(kirnow_guid_text KIRNOW_DIID_IPOSLDISPLAYEVENTS dispinterface _IPOSLDisplayEvents)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/kirnow_guids.h
     CONTENT "// Generated from serviceobject/com/kirnow.idl at configure time; do not edit.
#pragma once

@kirnow_guid_text@" @ONLY)
