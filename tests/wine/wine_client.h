// Small helpers shared by the Windows client programs that the Wine stage runs: PASS/FAIL
// reporting and late-bound calls by name through IDispatch, as an automation client makes them.
#pragma once

#include <climits>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/text/utf_convert.h"
#include "platform/win32/windows_headers.h"
#include "serviceobject/com/iposl_display.h"

namespace kirnow::winetest {

inline int g_failures = 0;

inline void Check(bool ok, const char* what) {
  std::printf("%s %s\n", ok ? "PASS" : "FAIL", what);
  std::fflush(stdout);
  if (!ok) ++g_failures;
}

inline void CheckHr(HRESULT got, HRESULT want, const char* what) {
  if (got == want) {
    Check(true, what);
  } else {
    std::printf("FAIL %s (hr 0x%08lx, expected 0x%08lx)\n", what, static_cast<unsigned long>(got),
                static_cast<unsigned long>(want));
    std::fflush(stdout);
    ++g_failures;
  }
}

// An owned VARIANT.
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
  ~Var() { VariantClear(&v); }
};

inline VARIANT I4(LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

// A BSTR argument; the caller of Invoke frees it (FreeArgs).
inline VARIANT Str(const wchar_t* text) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}

inline VARIANT NullDispatch() {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = nullptr;
  return v;
}

inline VARIANT RefI4(LONG* target) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BYREF | VT_I4;
  V_I4REF(&v) = target;
  return v;
}

inline VARIANT RefBstr(BSTR* target) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&v) = target;
  return v;
}

inline DISPID IdOf(IDispatch* object, const wchar_t* name, HRESULT* hrOut = nullptr) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hrOut) *hrOut = hr;
  return SUCCEEDED(hr) ? id : DISPID_UNKNOWN;
}

// Looks the name up, then invokes it as a method with the arguments in their declared order.
// Argument VARIANTs are cleared afterwards (by-reference ones only point at the caller's data).
inline HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args,
                          VARIANT* result) {
  HRESULT hr = S_OK;
  const DISPID id = IdOf(object, name, &hr);
  if (SUCCEEDED(hr)) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO excep{};
    UINT argError = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &excep,
                        &argError);
  }
  for (VARIANT& v : args) {
    if (!(V_VT(&v) & VT_BYREF)) VariantClear(&v);
  }
  return hr;
}

// A method returning a long through IDispatch; LONG_MIN when the call fails.
inline LONG CallLong(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args,
                     HRESULT* hrOut = nullptr) {
  Var result;
  const HRESULT hr = CallByName(object, name, std::move(args), &result.v);
  if (hrOut) *hrOut = hr;
  if (FAILED(hr) || V_VT(&result.v) != VT_I4) return LONG_MIN;
  return V_I4(&result.v);
}

inline std::string Narrow(const wchar_t* text, UINT length) {
  if (!text) return {};
  return kirnow::platform::Utf8FromWide(std::wstring_view(text, length));
}

}  // namespace kirnow::winetest
