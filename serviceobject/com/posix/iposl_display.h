// IPOSLDisplay as a C++ interface over the compat layer: the dual interface's v-table after
// IDispatch's, in the fixed method order (DISPID n is the n-th method).
#pragma once

#include "platform/com/com_types.h"

struct IPOSLDisplay : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE OpenService(BSTR DeviceClass, BSTR DeviceName,
                                                IDispatch* pDispatch, LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE CloseService(LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClaimDevice(LONG Timeout, LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseDevice(LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE CheckHealth(LONG Level, LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE DirectIO(LONG Command, LONG* pData, BSTR* pString,
                                             LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisplayText(BSTR Data, LONG Attribute, LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisplayTextAt(LONG Row, LONG Column, BSTR Data, LONG Attribute,
                                                  LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearText(LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE ScrollText(LONG Direction, LONG Units, LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescriptor(LONG Descriptor, LONG Attribute, LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearDescriptors(LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE RefreshWindow(LONG Window, LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReadCharacterAtCursor(LONG* pChar, LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE DefineGlyph(LONG GlyphCode, BSTR Glyph, LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyNumber(LONG PropIndex, LONG* pNumber) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPropertyNumber(LONG PropIndex, LONG Number) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyString(LONG PropIndex, BSTR* pString) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPropertyString(LONG PropIndex, BSTR String) = 0;
  virtual HRESULT STDMETHODCALLTYPE COFreezeEvents(VARIANT_BOOL Freeze, LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateWindow(LONG ViewportRow, LONG ViewportColumn,
                                                 LONG ViewportHeight, LONG ViewportWidth,
                                                 LONG WindowHeight, LONG WindowWidth,
                                                 LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE DestroyWindow(LONG* pRC) = 0;
  virtual HRESULT STDMETHODCALLTYPE SOData(LONG Status) = 0;
  virtual HRESULT STDMETHODCALLTYPE SODirectIO(LONG EventNumber, LONG* pData, BSTR* pString) = 0;
  virtual HRESULT STDMETHODCALLTYPE SOError(LONG ResultCode, LONG ResultCodeExtended,
                                            LONG ErrorLocus, LONG* pErrorResponse) = 0;
  virtual HRESULT STDMETHODCALLTYPE SOOutputComplete(LONG OutputID) = 0;
  virtual HRESULT STDMETHODCALLTYPE SOStatusUpdate(LONG Data) = 0;
};

namespace kirnow::posixcom {

extern const IID IID_IPOSLDisplay;
extern const IID DIID_IPOSLDisplayEvents;
extern const CLSID CLSID_POSLDisplay;

}  // namespace kirnow::posixcom
