// LineDisplayControl.dll: our LineDisplay control object as an in-process COM server under the
// OPOS control object's class, for the Wine tests only (nothing we ship registers it). The class
// factory hands out the portable control object over the system registry and COM.
#include <new>

#include "controlobject/line_display_control.h"
#include "serviceobject/com/guids.h"

namespace {

// Live control objects and LockServer calls. The control object does not report its own end,
// so each one created keeps the library loaded: the stand-in never agrees to unload while a
// host holds anything it handed out.
volatile LONG g_locks = 0;

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // The factory is static: its references only keep the library.
  ULONG STDMETHODCALLTYPE AddRef() override {
    InterlockedIncrement(&g_locks);
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    InterlockedDecrement(&g_locks);
    return 1;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IDispatch* control = kirnow::control::CreateLineDisplayControl();
    if (!control) return E_OUTOFMEMORY;
    const HRESULT hr = control->QueryInterface(riid, object);
    control->Release();
    if (SUCCEEDED(hr)) InterlockedIncrement(&g_locks);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      InterlockedIncrement(&g_locks);
    } else {
      InterlockedDecrement(&g_locks);
    }
    return S_OK;
  }
};

Factory g_factory;

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return InterlockedCompareExchange(&g_locks, 0, 0) == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  static const CLSID kLineDisplay = OPOS_CLSID_LINEDISPLAY_INIT;
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, kLineDisplay)) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    return g_factory.QueryInterface(riid, object);
  } catch (...) {
    return E_UNEXPECTED;
  }
}
