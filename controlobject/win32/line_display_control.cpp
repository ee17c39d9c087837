// LineDisplayControl.dll: a stand-in for the OPOS LineDisplay control object, for the Wine tests
// only (nothing we ship registers it). It answers the dispatch members that Polecheck calls, by
// their fixed DISPIDs (and by name), finds the service object of a logical device through the
// device entry and its ProgID, and forwards every call to it late-bound by name.
// clang-format off
#include <windows.h>
#undef CreateWindow
#undef MessageBox
#undef OpenService

#include <objbase.h>
#include <oaidl.h>
#include <oleauto.h>
// clang-format on

#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "serviceobject/com/guids.h"

namespace {

constexpr LONG OPOS_SUCCESS = 0;
constexpr LONG OPOS_E_CLOSED = 101;
constexpr LONG OPOS_E_NOSERVICE = 104;
constexpr LONG OPOS_E_NOEXIST = 109;

constexpr wchar_t kDeviceEntries[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\";

// The control's members: DISPID, name, the service object's property index (0: a method).
enum Member : DISPID {
  kDeviceEnabled = 17,
  kResultCode = 22,
  kDeviceName = 30,
  kClaimDevice = 32,
  kClose = 35,
  kOpen = 37,
  kFreezeEvents = 39,
  kCurrentWindow = 60,
  kInterCharacterWait = 69,
  kMarqueeType = 72,
  kMarqueeUnitWait = 73,
  kClearText = 81,
  kCreateWindow = 82,
  kDestroyWindow = 83,
  kDisplayText = 84,
  kDisplayTextAt = 85,
};

struct MemberName {
  DISPID id;
  const wchar_t* name;
  LONG propertyIndex;  // numeric property of the service object; 0 for methods
};

constexpr MemberName kMembers[] = {
    {kDeviceEnabled, L"DeviceEnabled", 3},
    {kResultCode, L"ResultCode", 6},
    {kDeviceName, L"DeviceName", 0},
    {kClaimDevice, L"ClaimDevice", 0},
    {kClose, L"Close", 0},
    {kOpen, L"Open", 0},
    {kFreezeEvents, L"FreezeEvents", 5},
    {kCurrentWindow, L"CurrentWindow", 5003},
    {kInterCharacterWait, L"InterCharacterWait", 5012},
    {kMarqueeType, L"MarqueeType", 5014},
    {kMarqueeUnitWait, L"MarqueeUnitWait", 5015},
    {kClearText, L"ClearText", 0},
    {kCreateWindow, L"CreateWindow", 0},
    {kDestroyWindow, L"DestroyWindow", 0},
    {kDisplayText, L"DisplayText", 0},
    {kDisplayTextAt, L"DisplayTextAt", 0},
};

volatile LONG g_locks = 0;

// Calls a service object method by name with arguments in declared order.
HRESULT CallByName(IDispatch* so, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = so->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(hr)) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    hr = so->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr,
                    nullptr);
  }
  for (VARIANT& v : args) VariantClear(&v);
  return hr;
}

VARIANT I4(LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

VARIANT Bstr(const wchar_t* text, UINT length) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocStringLen(text, length);
  return v;
}

// Argument `index` (in declared order) of a call, converted to `type`.
HRESULT Argument(const DISPPARAMS* params, UINT index, VARTYPE type, VARIANT* out) {
  VariantInit(out);
  if (!params || index >= params->cArgs) return DISP_E_BADPARAMCOUNT;
  return VariantChangeType(out, &params->rgvarg[params->cArgs - 1 - index], 0, type);
}

class LineDisplayControl final : public IDispatch {
 public:
  LineDisplayControl() { InterlockedIncrement(&g_locks); }
  ~LineDisplayControl() {
    CloseService();
    InterlockedDecrement(&g_locks);
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    ids[0] = DISPID_UNKNOWN;
    for (const MemberName& m : kMembers) {
      if (_wcsicmp(m.name, names[0]) == 0) ids[0] = m.id;
    }
    if (ids[0] == DISPID_UNKNOWN || count > 1) hr = DISP_E_UNKNOWNNAME;
    return hr;
  }

  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override {
    try {
      return Dispatch(id, flags, params, result);
    } catch (...) {
      return E_FAIL;
    }
  }

 private:
  HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
    VARIANT scratch;
    VariantInit(&scratch);
    if (!result) result = &scratch;
    VariantInit(result);
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;

    if (id == kOpen) return Open(params, result);
    if (id == kResultCode) return Long(result, so_ ? NumberOf(6) : resultCode_);
    if (!so_) {
      // Closed: every member answers OPOS_E_CLOSED (methods) or an empty value.
      resultCode_ = OPOS_E_CLOSED;
      if (id == kDeviceName) return String(result, L"");
      if (id == kFreezeEvents || id == kDeviceEnabled) return Bool(result, false);
      return put ? S_OK : Long(result, OPOS_E_CLOSED);
    }

    for (const MemberName& m : kMembers) {
      if (m.id != id || m.propertyIndex == 0) continue;
      if (put) {
        VARIANT value;
        HRESULT hr = Argument(params, 0, VT_I4, &value);
        if (FAILED(hr)) return hr;
        // Booleans reach the service object as 1 and 0.
        LONG number = V_I4(&value);
        if (id == kDeviceEnabled || id == kFreezeEvents) number = number != 0 ? 1 : 0;
        VARIANT none;
        VariantInit(&none);
        hr = CallByName(so_, L"SetPropertyNumber", {I4(m.propertyIndex), I4(number)}, &none);
        VariantClear(&none);
        return hr;
      }
      const LONG number = NumberOf(m.propertyIndex);
      if (id == kDeviceEnabled || id == kFreezeEvents) return Bool(result, number != 0);
      return Long(result, number);
    }

    switch (id) {
      case kDeviceName:
        return CallByName(so_, L"GetPropertyString", {I4(1000003)}, result);
      case kClaimDevice:
        return Forward(L"ClaimDevice", params, {VT_I4}, result);
      case kClose: {
        LONG rc = CloseService();
        return Long(result, rc);
      }
      case kClearText:
        return Forward(L"ClearText", params, {}, result);
      case kCreateWindow:
        return Forward(L"CreateWindow", params, {VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4}, result);
      case kDestroyWindow:
        return Forward(L"DestroyWindow", params, {}, result);
      case kDisplayText:
        return Forward(L"DisplayText", params, {VT_BSTR, VT_I4}, result);
      case kDisplayTextAt:
        return Forward(L"DisplayTextAt", params, {VT_I4, VT_I4, VT_BSTR, VT_I4}, result);
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  // Open(DeviceName): the device entry names the ProgID; the service object is created through
  // the class registry and opened with this control's dispatch interface.
  HRESULT Open(DISPPARAMS* params, VARIANT* result) {
    VARIANT name;
    HRESULT hr = Argument(params, 0, VT_BSTR, &name);
    if (FAILED(hr)) return hr;
    CloseService();
    std::wstring key = kDeviceEntries;
    key.append(V_BSTR(&name), SysStringLen(V_BSTR(&name)));
    wchar_t progId[256] = {};
    DWORD size = sizeof(progId) - sizeof(wchar_t);
    CLSID clsid{};
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, progId,
                     &size) != ERROR_SUCCESS) {
      resultCode_ = OPOS_E_NOEXIST;
    } else if (FAILED(CLSIDFromProgID(progId, &clsid)) ||
               FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&so_)))) {
      so_ = nullptr;
      resultCode_ = OPOS_E_NOSERVICE;
    } else {
      VARIANT self;
      VariantInit(&self);
      V_VT(&self) = VT_DISPATCH;
      V_DISPATCH(&self) = this;
      AddRef();
      VARIANT rc;
      VariantInit(&rc);
      hr = CallByName(
          so_, L"OpenService",
          {Bstr(L"LineDisplay", 11), Bstr(V_BSTR(&name), SysStringLen(V_BSTR(&name))), self}, &rc);
      VariantClear(&rc);
      if (FAILED(hr)) {
        so_->Release();
        so_ = nullptr;
        resultCode_ = OPOS_E_NOSERVICE;
      } else {
        resultCode_ = OPOS_SUCCESS;
      }
    }
    VariantClear(&name);
    return Long(result, so_ ? NumberOf(6) : resultCode_);
  }

  LONG CloseService() {
    if (!so_) return OPOS_E_CLOSED;
    VARIANT rc;
    VariantInit(&rc);
    CallByName(so_, L"CloseService", {}, &rc);
    VariantClear(&rc);
    so_->Release();
    so_ = nullptr;
    resultCode_ = OPOS_E_CLOSED;
    return OPOS_SUCCESS;
  }

  LONG NumberOf(LONG propertyIndex) {
    VARIANT value;
    VariantInit(&value);
    const HRESULT hr = CallByName(so_, L"GetPropertyNumber", {I4(propertyIndex)}, &value);
    const LONG number = SUCCEEDED(hr) && V_VT(&value) == VT_I4 ? V_I4(&value) : 0;
    VariantClear(&value);
    return number;
  }

  HRESULT Forward(const wchar_t* method, DISPPARAMS* params, std::vector<VARTYPE> types,
                  VARIANT* result) {
    std::vector<VARIANT> args(types.size());
    for (size_t i = 0; i < types.size(); ++i) {
      const HRESULT hr = Argument(params, static_cast<UINT>(i), types[i], &args[i]);
      if (FAILED(hr)) {
        for (VARIANT& v : args) VariantClear(&v);
        return hr;
      }
    }
    return CallByName(so_, method, std::move(args), result);
  }

  static HRESULT Long(VARIANT* result, LONG value) {
    V_VT(result) = VT_I4;
    V_I4(result) = value;
    return S_OK;
  }
  static HRESULT Bool(VARIANT* result, bool value) {
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  static HRESULT String(VARIANT* result, const wchar_t* text) {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocString(text);
    return V_BSTR(result) ? S_OK : E_OUTOFMEMORY;
  }

  LONG refs_ = 0;
  IDispatch* so_ = nullptr;
  LONG resultCode_ = OPOS_E_CLOSED;
};

class Factory final : public IClassFactory {
 public:
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
    InterlockedIncrement(&g_locks);
    return 2;
  }
  STDMETHODIMP_(ULONG) Release() override {
    InterlockedDecrement(&g_locks);
    return 1;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* control = new (std::nothrow) LineDisplayControl();
    if (!control) return E_OUTOFMEMORY;
    control->AddRef();
    const HRESULT hr = control->QueryInterface(riid, object);
    control->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
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
  return g_factory.QueryInterface(riid, object);
}
