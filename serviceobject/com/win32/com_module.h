// Module-wide pieces of Kirnow.dll: the module lock count that DllCanUnloadNow reads, the one
// ModuleState that every live POSLDisplay object shares, and the IPOSLDisplay type information
// from the registered type library.
#pragma once

#include "serviceobject/com/win32/windows_headers.h"

namespace kirnow {
class ModuleState;
}

namespace kirnow::win32com {

HINSTANCE ModuleInstance();

// The module lock count: live objects, LockServer(TRUE) calls and the class factory's extra lock
// while a client holds it. Changed with interlocked operations.
void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// The module state shared by the live objects. The first object creates it (system seams, the
// build's trace switch); when the last one goes it is destroyed, which stops every worker and
// closes the port. Throws std::bad_alloc (or what the seams throw) when it cannot be made.
ModuleState& AcquireModuleState();
void ReleaseModuleState();
// True while a marquee or blink worker of the module is running.
bool WorkersRunning();

// The type information of IPOSLDisplay, loaded once from the registered type library (LIBID,
// version 1.0, the caller's locale) and kept for the library's life. Fails with the loader's
// error when the library is not registered; a failure is not cached. AddRef'd for the caller.
HRESULT GetPoslDisplayTypeInfo(LCID lcid, ITypeInfo** typeInfo);

// Called from DllMain when the library is unloaded by FreeLibrary (not at process exit).
void ShutdownModule();

}  // namespace kirnow::win32com
