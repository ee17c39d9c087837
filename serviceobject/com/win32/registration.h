// Registration of Kirnow.dll: the registrar script in resource REGISTRY 102, applied over the
// system registry, and the type library embedded as TYPELIB 1.
#pragma once

#include "serviceobject/com/win32/windows_headers.h"

namespace kirnow::win32com {

// Applies the script in register mode, then registers the type library. The first failure
// stops the operation and is returned unchanged; nothing is rolled back.
HRESULT RegisterServer();
// Applies the script in unregister mode, then unregisters the type library.
HRESULT UnregisterServer();

}  // namespace kirnow::win32com
