// The library's own module: the service-object state over the system's platform services, made
// on first use, and the cached class factory. The exports of both platforms answer through the
// functions below. The library pins itself before it makes the module (platform/module/
// module_pin.h), so no unload ever meets one; only the process's end does (Linux runs static
// destructors then; Windows' DLL_PROCESS_DETACH at process exit touches nothing, the other
// threads being gone already).
#pragma once

#include "platform/com/com_types.h"
#include "serviceobject/com/com_module.h"

namespace kirnow::server {

// DllCanUnloadNow: S_OK only without live objects, locks, factory references or workers. A
// pinned library stays loaded all the same; the answer tells a host that nothing of it is in use.
HRESULT CanUnloadNow() noexcept;
// DllGetClassObject: the POSLDisplay factory, CLASS_E_CLASSNOTAVAILABLE for any other class.
// Pins the library first.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept;
// At the end (unload or process exit): closes the port and drops the platform services when
// nothing the module serves is alive; the next call of the library builds a fresh module. While
// an object, a lock or a thread is alive it does nothing, and it never waits for a thread.
void ShutdownServerModule() noexcept;

}  // namespace kirnow::server
