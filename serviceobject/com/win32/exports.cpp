// The four exports of Kirnow.dll and its entry point. No exception crosses an export.
#include "serviceobject/com/guarded.h"
#include "serviceobject/com/server_module.h"
#include "serviceobject/com/win32/registration.h"

namespace {
HINSTANCE g_instance = nullptr;
}

HINSTANCE kirnow::server::ModuleInstance() { return g_instance; }

using namespace kirnow::server;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      g_instance = instance;
      DisableThreadLibraryCalls(instance);
      break;
    case DLL_PROCESS_DETACH:
      // At process exit (reserved non-null) the other threads are gone already and the
      // process's memory goes with it: touch nothing. A FreeLibrary unloads the DLL only while
      // it has never handed out its factory (it pins itself first), so no object, module or
      // thread of it exists then and nothing here waits under the loader lock.
      if (reserved == nullptr) {
        ShutdownServerModule();
        ReleaseTypeInfo();
      }
      break;
    default:
      break;
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return CanUnloadNow(); }

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  return GetClassObject(clsid, riid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return Guarded([] { return RegisterServer(); });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return Guarded([] { return UnregisterServer(); });
}
