// The Windows-only pieces of Kirnow.dll around the shared module: the module handle, the
// registration from the embedded registrar script and type library, and the cached type
// information that serves IDispatch.
#pragma once

#include "platform/win32/windows_headers.h"

namespace kirnow::server {

// This DLL's instance handle, set by DllMain.
HINSTANCE ModuleInstance();

// Applies the registrar script (resource REGISTRY 102) in register mode, then registers the
// type library (TYPELIB 1). The first failure stops the operation and is returned unchanged;
// nothing is rolled back.
HRESULT RegisterServer();
// Applies the script in unregister mode, then unregisters the type library.
HRESULT UnregisterServer();

// Releases IPOSLDisplay's cached type information (on unload).
void ReleaseTypeInfo();

}  // namespace kirnow::server
