// Fixed identities of the service object's COM class and type library, its ProgIDs and its
// class description, and the class of the OPOS LineDisplay control object that Polecheck hosts.
// These values are registered on users' machines: never change them.
#pragma once

// Generated at configure time by cmake/registration.cmake, the one description of what the
// service object registers (the uuids and names from kirnow.idl, the ProgIDs and the control
// object's class from that file):
//   KIRNOW_CLSID_POSLDISPLAY, KIRNOW_LIBID_KIRNOWLIB, KIRNOW_IID_IPOSLDISPLAY,
//   KIRNOW_DIID_IPOSLDISPLAYEVENTS and OPOS_CLSID_LINEDISPLAY, each as _STR and _INIT;
//   KIRNOW_PROGID, KIRNOW_VERSION_INDEPENDENT_PROGID and KIRNOW_CLASS_DESCRIPTION.
#include "kirnow_guids.h"
