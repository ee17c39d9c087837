// The class factory of POSLDisplay, created on first request and cached for the library's life.
#pragma once

#include "serviceobject/com/win32/windows_headers.h"

namespace kirnow::win32com {

// Hands out the cached factory through `riid`; E_OUTOFMEMORY when it cannot be made.
HRESULT GetPoslDisplayFactory(REFIID riid, void** object);
// Drops the cache's reference (library unload).
void ReleaseCachedFactory();

}  // namespace kirnow::win32com
