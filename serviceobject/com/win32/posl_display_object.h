// The POSLDisplay COM object: the dual interface IPOSLDisplay over the core service object, an
// empty connection-point container, and aggregation support.
#pragma once

#include <memory>

#include "serviceobject/com/win32/windows_headers.h"

namespace kirnow {
class POSLDisplay;
}

namespace kirnow::win32com {

class PoslDisplayObject final : public IPOSLDisplay, public IConnectionPointContainer {
 public:
  // The class factory's creation: outer is the controlling unknown when aggregated (then riid
  // must be IUnknown). Answers E_POINTER, CLASS_E_NOAGGREGATION, E_OUTOFMEMORY or the failure
  // of the interface query, in which case the object is gone again.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** object);

  // IUnknown (delegating to the controlling unknown)
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch, served from the registered type library
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) override;

  // IPOSLDisplay
  STDMETHODIMP OpenService(BSTR DeviceClass, BSTR DeviceName, IDispatch* pDispatch,
                           LONG* pRC) override;
  STDMETHODIMP CloseService(LONG* pRC) override;
  STDMETHODIMP ClaimDevice(LONG Timeout, LONG* pRC) override;
  STDMETHODIMP ReleaseDevice(LONG* pRC) override;
  STDMETHODIMP CheckHealth(LONG Level, LONG* pRC) override;
  STDMETHODIMP DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* pRC) override;
  STDMETHODIMP DisplayText(BSTR Data, LONG Attribute, LONG* pRC) override;
  STDMETHODIMP DisplayTextAt(LONG Row, LONG Column, BSTR Data, LONG Attribute, LONG* pRC) override;
  STDMETHODIMP ClearText(LONG* pRC) override;
  STDMETHODIMP ScrollText(LONG Direction, LONG Units, LONG* pRC) override;
  STDMETHODIMP SetDescriptor(LONG Descriptor, LONG Attribute, LONG* pRC) override;
  STDMETHODIMP ClearDescriptors(LONG* pRC) override;
  STDMETHODIMP RefreshWindow(LONG Window, LONG* pRC) override;
  STDMETHODIMP ReadCharacterAtCursor(LONG* pChar, LONG* pRC) override;
  STDMETHODIMP DefineGlyph(LONG GlyphCode, BSTR Glyph, LONG* pRC) override;
  STDMETHODIMP GetPropertyNumber(LONG PropIndex, LONG* pNumber) override;
  STDMETHODIMP SetPropertyNumber(LONG PropIndex, LONG Number) override;
  STDMETHODIMP GetPropertyString(LONG PropIndex, BSTR* pString) override;
  STDMETHODIMP SetPropertyString(LONG PropIndex, BSTR String) override;
  STDMETHODIMP COFreezeEvents(VARIANT_BOOL Freeze, LONG* pRC) override;
  STDMETHODIMP CreateWindow(LONG ViewportRow, LONG ViewportColumn, LONG ViewportHeight,
                            LONG ViewportWidth, LONG WindowHeight, LONG WindowWidth,
                            LONG* pRC) override;
  STDMETHODIMP DestroyWindow(LONG* pRC) override;
  STDMETHODIMP SOData(LONG Status) override;
  STDMETHODIMP SODirectIO(LONG EventNumber, LONG* pData, BSTR* pString) override;
  STDMETHODIMP SOError(LONG ResultCode, LONG ResultCodeExtended, LONG ErrorLocus,
                       LONG* pErrorResponse) override;
  STDMETHODIMP SOOutputComplete(LONG OutputID) override;
  STDMETHODIMP SOStatusUpdate(LONG Data) override;

  // IConnectionPointContainer: no connection points
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** enumerator) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

 private:
  // The object's own identity when aggregated; the controlling unknown otherwise is itself.
  class Inner final : public IUnknown {
   public:
    explicit Inner(PoslDisplayObject& owner) : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

   private:
    PoslDisplayObject& owner_;
  };

  explicit PoslDisplayObject(IUnknown* outer);
  ~PoslDisplayObject();

  Inner inner_{*this};
  IUnknown* outer_;  // the controlling unknown: the aggregator, or &inner_
  LONG refs_ = 0;
  std::unique_ptr<POSLDisplay> core_;
};

}  // namespace kirnow::win32com
