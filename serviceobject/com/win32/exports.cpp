// The four exports of Kirnow.dll and its entry point. No exception crosses an export.
#include "serviceobject/com/win32/class_factory.h"
#include "serviceobject/com/win32/com_module.h"
#include "serviceobject/com/win32/registration.h"
#include "serviceobject/com/win32/windows_headers.h"

namespace kirnow::win32com::detail {
void SetModuleInstance(HINSTANCE instance);
}

using namespace kirnow::win32com;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      detail::SetModuleInstance(instance);
      DisableThreadLibraryCalls(instance);
      break;
    case DLL_PROCESS_DETACH:
      // At process exit (reserved non-null) the other threads are gone already and the
      // process's memory goes with it: touch nothing. On FreeLibrary the module winds down.
      if (reserved == nullptr) {
        try {
          ShutdownModule();
          ReleaseCachedFactory();
        } catch (...) {
        }
      }
      break;
    default:
      break;
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  try {
    return (ModuleLockCount() == 0 && !WorkersRunning()) ? S_OK : S_FALSE;
  } catch (...) {
    return S_FALSE;
  }
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  try {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_POSLDisplay)) return CLASS_E_CLASSNOTAVAILABLE;
    return GetPoslDisplayFactory(riid, object);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  try {
    return RegisterServer();
  } catch (...) {
    return E_UNEXPECTED;
  }
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  try {
    return UnregisterServer();
  } catch (...) {
    return E_UNEXPECTED;
  }
}
