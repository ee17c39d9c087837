// The cached class factory. The cache holds one reference of its own; while a client holds
// another, the factory keeps one extra module lock, so DllCanUnloadNow answers S_FALSE until the
// client lets it go. Its reference count is guarded by a critical section.
#include "serviceobject/com/win32/class_factory.h"

#include <mutex>
#include <new>

#include "serviceobject/com/win32/com_module.h"
#include "serviceobject/com/win32/posl_display_object.h"

namespace kirnow::win32com {
namespace {

class PoslDisplayFactory final : public IClassFactory {
 public:
  PoslDisplayFactory() { InitializeCriticalSection(&lock_); }
  ~PoslDisplayFactory() { DeleteCriticalSection(&lock_); }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  STDMETHODIMP_(ULONG) AddRef() override {
    EnterCriticalSection(&lock_);
    const LONG refs = ++refs_;
    // The first client reference beyond the cache's own locks the module.
    if (refs == 2) LockModule();
    LeaveCriticalSection(&lock_);
    return static_cast<ULONG>(refs);
  }

  STDMETHODIMP_(ULONG) Release() override {
    EnterCriticalSection(&lock_);
    const LONG refs = --refs_;
    if (refs == 1) UnlockModule();
    LeaveCriticalSection(&lock_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    return PoslDisplayObject::Create(outer, riid, object);
  }

  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }

 private:
  CRITICAL_SECTION lock_;
  LONG refs_ = 0;
};

std::mutex g_factoryLock;
PoslDisplayFactory* g_factory = nullptr;

}  // namespace

HRESULT GetPoslDisplayFactory(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  PoslDisplayFactory* factory = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_factoryLock);
    if (!g_factory) {
      g_factory = new (std::nothrow) PoslDisplayFactory();
      if (!g_factory) return E_OUTOFMEMORY;
      g_factory->AddRef();  // the cache's own reference
    }
    factory = g_factory;
  }
  return factory->QueryInterface(riid, object);
}

void ReleaseCachedFactory() {
  PoslDisplayFactory* factory = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_factoryLock);
    factory = g_factory;
    g_factory = nullptr;
  }
  if (factory) factory->Release();
}

}  // namespace kirnow::win32com
