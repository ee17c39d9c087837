# Pieces of the COM dress that both platforms build: the registrar, the method table of
# IPOSLDisplay, the field trace's record of a method, the registrar script as a C++ string (the
# Windows build also embeds the script as resource REGISTRY 102), and the sources of the object,
# its factory and module.
kirnow_room(kirnow_so FOLDER serviceobject/com
            SOURCES registrar.cpp dispatch_table.cpp call_record.cpp
            USES kirnow_core kirnow_display kirnow_properties kirnow_trace kirnow_platform)
# What the rooms outside may use of the COM dress: the method table of IPOSLDisplay (the control
# object calls the service object by it).
kirnow_room(kirnow_dispatch_interface FOLDER serviceobject/com
            FILES dispatch_table.h iposl_display_methods.h)
set(KIRNOW_COM_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/posl_display_object.cpp
    ${CMAKE_CURRENT_LIST_DIR}/class_factory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/server_module.cpp)

set(kirnow_rgs_file ${CMAKE_CURRENT_LIST_DIR}/kirnow.rgs)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kirnow_rgs_file})
file(READ ${kirnow_rgs_file} kirnow_rgs_text)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/kirnow_rgs.h
     CONTENT "// Generated from serviceobject/com/kirnow.rgs at configure time; do not edit.
#pragma once

namespace kirnow {
inline constexpr char kRegistrarScript[] = R\"rgs(@kirnow_rgs_text@)rgs\";
}  // namespace kirnow
" @ONLY)
