// Fixed identities of the service object's COM class and type library, and its ProgIDs. These
// values are registered on users' machines: never change them.
#pragma once

// KIRNOW_CLSID_POSLDISPLAY, KIRNOW_LIBID_KIRNOWLIB, KIRNOW_IID_IPOSLDISPLAY and
// KIRNOW_DIID_IPOSLDISPLAYEVENTS (each as _STR and _INIT), read from kirnow.idl by the build.
#include "kirnow_guids.h"

// The OPOS LineDisplay control object's class, which Polecheck hosts.
#define OPOS_CLSID_LINEDISPLAY_STR "{CCB90102-B81E-11D2-AB74-0040054C3719}"
#define OPOS_CLSID_LINEDISPLAY_INIT                                                \
  {                                                                                \
    0xCCB90102, 0xB81E, 0x11D2, { 0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19 } \
  }

#define KIRNOW_PROGID "JQ.POSLDisplay.1"
#define KIRNOW_VERSION_INDEPENDENT_PROGID "JQ.POSLDisplay"
