// The class factory of POSLDisplay. The module keeps one for its whole life; while a client holds
// a reference to it, it holds a module lock.
#pragma once

#include <atomic>

#include "serviceobject/com/com_module.h"
#include "serviceobject/com/iposl_display.h"

namespace kirnow::server {

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(ComModule& module) : module_(module) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

  // Client references currently held.
  ULONG References() const { return refs_; }

 private:
  ComModule& module_;
  std::atomic<ULONG> refs_{0};
};

}  // namespace kirnow::server
