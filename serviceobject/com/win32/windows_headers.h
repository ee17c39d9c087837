// windows.h and the COM headers for the server's files, then the header generated from
// kirnow.idl. The A/W macros that collide with IPOSLDisplay's method names (CreateWindow,
// OpenService) and with the message box seam (MessageBox) are removed first, so every file sees
// the interface's own names. Include this instead of windows.h or kirnow.h.
#pragma once

// clang-format off
#include <windows.h>
#undef CreateWindow
#undef MessageBox
#undef OpenService

#include <objbase.h>
#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleauto.h>

#include "kirnow.h"
// clang-format on
