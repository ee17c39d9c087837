// IDispatch of the POSLDisplay object on Windows: served from the registered type library, whose
// type information is loaded once (LIBID, version 1.0, the caller's locale) and kept until the
// library is unloaded. A failed load (the library is not registered) is not cached.
#include "platform/sync/thread_safety.h"
#include "serviceobject/com/posl_display_object.h"
#include "serviceobject/com/win32/registration.h"

namespace kirnow::server {
namespace {

platform::Mutex g_typeInfoLock;
ITypeInfo* g_typeInfo KIRNOW_GUARDED_BY(g_typeInfoLock) = nullptr;

// AddRef'd for the caller.
HRESULT PoslDisplayTypeInfo(LCID lcid, ITypeInfo** typeInfo) {
  *typeInfo = nullptr;
  platform::MutexHold guard(g_typeInfoLock);
  if (!g_typeInfo) {
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadRegTypeLib(LIBID_KirnowLib, 1, 0, lcid, &lib);
    if (FAILED(hr)) return hr;
    ITypeInfo* info = nullptr;
    hr = lib->GetTypeInfoOfGuid(IID_IPOSLDisplay, &info);
    lib->Release();
    if (FAILED(hr)) return hr;
    g_typeInfo = info;
  }
  g_typeInfo->AddRef();
  *typeInfo = g_typeInfo;
  return S_OK;
}

}  // namespace

void ReleaseTypeInfo() {
  platform::MutexHold guard(g_typeInfoLock);
  if (g_typeInfo) {
    g_typeInfo->Release();
    g_typeInfo = nullptr;
  }
}

HRESULT PoslDisplayObject::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

HRESULT PoslDisplayObject::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  return PoslDisplayTypeInfo(lcid, ppTInfo);
}

HRESULT PoslDisplayObject::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                         DISPID* rgDispId) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = PoslDisplayTypeInfo(lcid, &info);
  if (FAILED(hr)) return hr;
  hr = info->GetIDsOfNames(rgszNames, cNames, rgDispId);
  info->Release();
  return hr;
}

HRESULT PoslDisplayObject::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                  DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                  EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = PoslDisplayTypeInfo(lcid, &info);
  if (FAILED(hr)) return hr;
  hr = info->Invoke(static_cast<IPOSLDisplay*>(this), dispIdMember, wFlags, pDispParams, pVarResult,
                    pExcepInfo, puArgErr);
  info->Release();
  return hr;
}

}  // namespace kirnow::server
