// The POSLDisplay COM object, one source for both platforms: IPOSLDisplay (which is also its
// IDispatch) and an empty connection-point container over the plain C++ service object. It can
// be aggregated. How IDispatch is served differs: from the registered type library on Windows
// (win32/typelib_dispatch.cpp), from the method table on Linux (posix/table_dispatch.cpp).
#pragma once

#include <atomic>

#include "serviceobject/com/com_module.h"
#include "serviceobject/com/iposl_display.h"
#include "serviceobject/com/iposl_display_methods.h"
#include "serviceobject/core/posl_display.h"

namespace kirnow::server {

class PoslDisplayObject final : public IPOSLDisplay, public IConnectionPointContainer {
 public:
  // Creates an object with a reference count of 0 and queries `riid` on it: through the
  // non-delegating IUnknown when `outer` is given (only IID_IUnknown is allowed then). On failure
  // the object is gone and *ppv is null.
  static HRESULT Create(ComModule& module, IUnknown* outer, REFIID riid, void** ppv);

  // IUnknown (delegating to the outer object when aggregated)
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // IPOSLDisplay
#define KIRNOW_DECLARE_METHOD(id, name, signature, call) \
  HRESULT STDMETHODCALLTYPE name signature override;
  KIRNOW_IPOSLDISPLAY_METHODS(KIRNOW_DECLARE_METHOD)
#undef KIRNOW_DECLARE_METHOD

  // IConnectionPointContainer: no connection points.
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

 private:
  // The object's own IUnknown, which owns the reference count.
  struct Inner final : IUnknown {
    PoslDisplayObject* self = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
  };

  PoslDisplayObject(ComModule& module, IUnknown* outer);
  ~PoslDisplayObject();
  PoslDisplayObject(const PoslDisplayObject&) = delete;
  PoslDisplayObject& operator=(const PoslDisplayObject&) = delete;

  HRESULT InnerQueryInterface(REFIID riid, void** ppv);

  // A method's frame: the module-wide call lock for the whole body, the field trace's record
  // of the call (call_record.h: `describe` gives it the arguments, `body` may add what it hands
  // back), then the exception rule. `method` is the method's name, `pRC` its pRC or null.
  template <typename Describe, typename Body>
  HRESULT Framed(const char* method, const LONG* pRC, Describe&& describe, Body&& body) noexcept;

  ComModule& module_;
  Inner inner_;
  IUnknown* outer_;  // the controlling unknown: the aggregate's, or inner_
  // Atomic although calls on one object arrive on its apartment's thread: a client may still
  // release from another thread, and the count must not tear then.
  std::atomic<ULONG> refs_{0};
  POSLDisplay so_;
  bool sessionOpen_ = false;  // OpenService ran and CloseService has not
};

}  // namespace kirnow::server
