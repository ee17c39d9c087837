// The library's own module: the service-object state over the system's platform services, made
// on first use, and the cached class factory. The exports of both platforms answer through the
// functions below; only when the module is torn down differs (Linux: when the shared object is
// unloaded or the process exits; Windows: DLL_PROCESS_DETACH from FreeLibrary, never at
// process exit, when the other threads are gone already).
#pragma once

#include "platform/com/com_types.h"
#include "serviceobject/com/com_module.h"

namespace kirnow::server {

// DllCanUnloadNow: S_OK only without live objects, locks, factory references or workers.
HRESULT CanUnloadNow() noexcept;
// DllGetClassObject: the POSLDisplay factory, CLASS_E_CLASSNOTAVAILABLE for any other class.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept;
// At unload: closes the port and drops the platform services; the next call of the library
// builds a fresh module. Never waits for a thread: while a worker or the port's keeper runs
// (the first library thread pins the library, so that happens only at process exit) it does
// nothing.
void ShutdownServerModule() noexcept;

}  // namespace kirnow::server
