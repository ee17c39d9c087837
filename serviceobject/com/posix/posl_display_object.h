// The POSLDisplay COM object of the Linux server: IPOSLDisplay (which is also its IDispatch,
// served from the method table) and an empty connection-point container, over the plain C++
// service object. It can be aggregated.
#pragma once

#include <atomic>
#include <memory>

#include "platform/com/com_types.h"
#include "serviceobject/com/posix/com_module.h"
#include "serviceobject/com/posix/iposl_display.h"
#include "serviceobject/core/posl_display.h"

namespace kirnow::posixcom {

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
  HRESULT STDMETHODCALLTYPE OpenService(BSTR DeviceClass, BSTR DeviceName, IDispatch* pDispatch,
                                        LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE CloseService(LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE ClaimDevice(LONG Timeout, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE ReleaseDevice(LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE CheckHealth(LONG Level, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE DisplayText(BSTR Data, LONG Attribute, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE DisplayTextAt(LONG Row, LONG Column, BSTR Data, LONG Attribute,
                                          LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE ClearText(LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE ScrollText(LONG Direction, LONG Units, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE SetDescriptor(LONG Descriptor, LONG Attribute, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE ClearDescriptors(LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE RefreshWindow(LONG Window, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE ReadCharacterAtCursor(LONG* pChar, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE DefineGlyph(LONG GlyphCode, BSTR Glyph, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE GetPropertyNumber(LONG PropIndex, LONG* pNumber) override;
  HRESULT STDMETHODCALLTYPE SetPropertyNumber(LONG PropIndex, LONG Number) override;
  HRESULT STDMETHODCALLTYPE GetPropertyString(LONG PropIndex, BSTR* pString) override;
  HRESULT STDMETHODCALLTYPE SetPropertyString(LONG PropIndex, BSTR String) override;
  HRESULT STDMETHODCALLTYPE COFreezeEvents(VARIANT_BOOL Freeze, LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE CreateWindow(LONG ViewportRow, LONG ViewportColumn, LONG ViewportHeight,
                                         LONG ViewportWidth, LONG WindowHeight, LONG WindowWidth,
                                         LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE DestroyWindow(LONG* pRC) override;
  HRESULT STDMETHODCALLTYPE SOData(LONG Status) override;
  HRESULT STDMETHODCALLTYPE SODirectIO(LONG EventNumber, LONG* pData, BSTR* pString) override;
  HRESULT STDMETHODCALLTYPE SOError(LONG ResultCode, LONG ResultCodeExtended, LONG ErrorLocus,
                                    LONG* pErrorResponse) override;
  HRESULT STDMETHODCALLTYPE SOOutputComplete(LONG OutputID) override;
  HRESULT STDMETHODCALLTYPE SOStatusUpdate(LONG Data) override;

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
  HRESULT InvokeMethod(int32_t dispid, VARIANT** args, VARIANT* result, UINT* argErr);

  ComModule& module_;
  Inner inner_;
  IUnknown* outer_;  // the controlling unknown: the aggregate's, or inner_
  std::atomic<ULONG> refs_{0};
  POSLDisplay so_;
  bool sessionOpen_ = false;  // OpenService ran and CloseService has not
};

}  // namespace kirnow::posixcom
