// windows.h and the COM and OLE Automation headers, for every Windows source of the product.
// windows.h defines A/W macros named like IPOSLDisplay's methods (CreateWindow, OpenService)
// and like the message box seam (MessageBox); this is the one place that removes them, so every
// file sees the interface's own names. Include this instead of windows.h.
#pragma once

// clang-format off
#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleauto.h>
// clang-format on

#undef CreateWindow
#undef MessageBox
#undef OpenService
