// The class factory of POSLDisplay.
#include "serviceobject/com/class_factory.h"

#include "serviceobject/com/posl_display_object.h"

namespace kirnow::server {

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() {
  const ULONG now = ++refs_;
  if (now == 1) module_.Lock();
  return now;
}

ULONG ClassFactory::Release() {
  // The factory itself stays (the module owns it); only the client's lock goes.
  ULONG now = refs_.load();
  do {
    if (now == 0) return 0;  // an unbalanced Release never drives the lock count below zero
  } while (!refs_.compare_exchange_weak(now, now - 1));
  if (now == 1) module_.Unlock();
  return now - 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
  return PoslDisplayObject::Create(module_, pUnkOuter, riid, ppvObject);
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
  if (fLock) {
    module_.Lock();
  } else {
    module_.Unlock();
  }
  return S_OK;
}

}  // namespace kirnow::server
