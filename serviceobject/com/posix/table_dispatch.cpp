// IDispatch of the POSLDisplay object on Linux, where there is no type library: names and
// calls are served from the method table, and a call's converted arguments reach the method
// through the method list.
#include <array>

#include "platform/text/name_compare.h"
#include "serviceobject/com/dispatch_table.h"
#include "serviceobject/com/guarded.h"
#include "serviceobject/com/posl_display_object.h"

namespace kirnow::server {

// ---- IDispatch --------------------------------------------------------------------------------

HRESULT PoslDisplayObject::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;  // names and calls are served from the method table; there is no type library
  return S_OK;
}

HRESULT PoslDisplayObject::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT PoslDisplayObject::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                         DISPID* rgDispId) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (cNames == 0) return E_INVALIDARG;
  if (!rgszNames || !rgDispId) return E_POINTER;
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  if (!rgszNames[0]) return DISP_E_UNKNOWNNAME;
  const dispatch::Method* method =
      dispatch::FindMethod(std::u16string_view(reinterpret_cast<const char16_t*>(rgszNames[0])));
  if (!method) return DISP_E_UNKNOWNNAME;
  rgDispId[0] = method->dispid;
  // Further names are parameter names; their DISPIDs are their positions.
  HRESULT hr = S_OK;
  for (UINT i = 1; i < cNames; ++i) {
    const std::u16string_view name =
        rgszNames[i] ? std::u16string_view(reinterpret_cast<const char16_t*>(rgszNames[i]))
                     : std::u16string_view();
    for (int p = 0; p < method->count; ++p) {
      if (text::EqualsNoCase(method->params[static_cast<size_t>(p)].name, name)) rgDispId[i] = p;
    }
    if (rgDispId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

namespace {

// Converted arguments of one call. Values converted here are owned (and freed) here; by-reference
// arguments point into the caller's variants.
struct Args {
  std::array<com::Variant, dispatch::kMaxParams> temp;
  std::array<LONG, dispatch::kMaxParams> l{};
  std::array<BSTR, dispatch::kMaxParams> s{};
  std::array<VARIANT_BOOL, dispatch::kMaxParams> b{};
  std::array<IDispatch*, dispatch::kMaxParams> d{};
  std::array<LONG*, dispatch::kMaxParams> lp{};
  std::array<BSTR*, dispatch::kMaxParams> sp{};
  LONG rc = 0;          // a [retval] long
  BSTR text = nullptr;  // a [retval] BSTR, owned here until it goes into the result
};

// A by-reference argument of type `want`: the caller's own slot, coerced in place when it is a
// referenced VARIANT of another type; a by-value argument is converted into `temp`.
HRESULT RefSlot(VARIANT* arg, VARTYPE want, VARIANT* temp, void** slot) {
  if (arg->vt == (VT_BYREF | want)) {
    if (!arg->byref) return E_INVALIDARG;
    *slot = arg->byref;
    return S_OK;
  }
  VARIANT* target = temp;
  if (arg->vt == (VT_BYREF | VT_VARIANT)) {
    if (!arg->pvarVal) return E_INVALIDARG;
    target = arg->pvarVal;
    if (target->vt != want) {
      const HRESULT hr = VariantChangeType(target, target, 0, want);
      if (FAILED(hr)) return hr;
    }
  } else {
    const HRESULT hr = VariantChangeType(temp, arg, 0, want);
    if (FAILED(hr)) return hr;
  }
  *slot = want == VT_I4 ? static_cast<void*>(&target->lVal) : static_cast<void*>(&target->bstrVal);
  return S_OK;
}

HRESULT ConvertArg(const dispatch::Param& p, VARIANT* arg, size_t i, Args& a) {
  VARIANT* temp = a.temp[i].get();
  HRESULT hr = S_OK;
  switch (p.type) {
    case dispatch::ParamType::Long:
      hr = VariantChangeType(temp, arg, 0, VT_I4);
      if (SUCCEEDED(hr)) a.l[i] = temp->lVal;
      return hr;
    case dispatch::ParamType::Bstr:
      hr = VariantChangeType(temp, arg, 0, VT_BSTR);
      if (SUCCEEDED(hr)) a.s[i] = temp->bstrVal;
      return hr;
    case dispatch::ParamType::Bool:
      hr = VariantChangeType(temp, arg, 0, VT_BOOL);
      if (SUCCEEDED(hr)) a.b[i] = temp->boolVal;
      return hr;
    case dispatch::ParamType::Dispatch: {
      // Empty or null, also through a referenced VARIANT, is no object. Anything else is
      // converted from the argument itself, which follows one level of reference as oleaut32
      // does and refuses a VARIANT that refers to another referring one.
      const VARIANT* v = arg;
      if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
      if (!v) return E_INVALIDARG;
      if (v->vt == VT_EMPTY || v->vt == VT_NULL) {
        a.d[i] = nullptr;
        return S_OK;
      }
      hr = VariantChangeType(temp, arg, 0, VT_DISPATCH);  // holds a reference for the call
      if (SUCCEEDED(hr)) a.d[i] = temp->pdispVal;
      return hr;
    }
    case dispatch::ParamType::LongRef:
      return RefSlot(arg, VT_I4, temp, reinterpret_cast<void**>(&a.lp[i]));
    case dispatch::ParamType::BstrRef:
      return RefSlot(arg, VT_BSTR, temp, reinterpret_cast<void**>(&a.sp[i]));
  }
  return DISP_E_TYPEMISMATCH;
}

// Puts each argument of `params` in its parameter's place: positional ones arrive last first,
// named ones lead the array. `position` keeps where each came from, for *puArgErr.
HRESULT ArrangeArgs(const DISPPARAMS& params, const dispatch::Method& method,
                    std::array<VARIANT*, dispatch::kMaxParams>& byParam,
                    std::array<UINT, dispatch::kMaxParams>& position, UINT* puArgErr) {
  const UINT cArgs = params.cArgs;
  const UINT cNamed = params.cNamedArgs;
  const UINT positional = cArgs - cNamed;
  for (UINT k = 0; k < positional; ++k) {
    byParam[k] = &params.rgvarg[cArgs - 1 - k];
    position[k] = cArgs - 1 - k;
  }
  for (UINT k = 0; k < cNamed; ++k) {
    const DISPID p = params.rgdispidNamedArgs[k];
    if (p < 0 || p >= method.count || byParam[static_cast<size_t>(p)]) {
      if (puArgErr) *puArgErr = k;
      return DISP_E_PARAMNOTFOUND;
    }
    byParam[static_cast<size_t>(p)] = &params.rgvarg[k];
    position[static_cast<size_t>(p)] = k;
  }
  return S_OK;
}

// The call's [retval], if it has one, into the caller's result; a BSTR moves out of `args`.
void PutResult(dispatch::ReturnType ret, Args& args, VARIANT* result) {
  VariantInit(result);
  if (ret == dispatch::ReturnType::Long) {
    result->vt = VT_I4;
    result->lVal = args.rc;
  } else if (ret == dispatch::ReturnType::Bstr) {
    result->vt = VT_BSTR;
    result->bstrVal = args.text;
    args.text = nullptr;
  }
}

}  // namespace

HRESULT PoslDisplayObject::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                  DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                  UINT* puArgErr) {
  return Guarded([&]() -> HRESULT {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    const dispatch::Method* method = dispatch::FindMethod(static_cast<int32_t>(dispIdMember));
    if (!method) return DISP_E_MEMBERNOTFOUND;
    // Every member is a method; a script may ask for a method call as a property read.
    if (!(wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
    if (!pDispParams) return E_INVALIDARG;
    const UINT cArgs = pDispParams->cArgs;
    const UINT cNamed = pDispParams->cNamedArgs;
    if ((cArgs && !pDispParams->rgvarg) || cNamed > cArgs ||
        (cNamed && !pDispParams->rgdispidNamedArgs)) {
      return E_INVALIDARG;
    }
    if (cArgs != static_cast<UINT>(method->count)) return DISP_E_BADPARAMCOUNT;

    std::array<VARIANT*, dispatch::kMaxParams> byParam{};
    std::array<UINT, dispatch::kMaxParams> position{};
    if (const HRESULT hr = ArrangeArgs(*pDispParams, *method, byParam, position, puArgErr);
        FAILED(hr)) {
      return hr;
    }

    Args args;
    Args& a = args;  // the name the method list's call arguments use
    for (size_t i = 0; i < static_cast<size_t>(method->count); ++i) {
      const HRESULT hr = ConvertArg(method->params[i], byParam[i], i, args);
      if (FAILED(hr)) {
        if (puArgErr) *puArgErr = position[i];
        return hr == E_INVALIDARG || hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
      }
    }

    HRESULT hr = S_OK;
    switch (method->dispid) {
#define KIRNOW_INVOKE_CASE(id, name, signature, call) \
  case id:                                            \
    hr = name call;                                   \
    break;
      KIRNOW_IPOSLDISPLAY_METHODS(KIRNOW_INVOKE_CASE)
#undef KIRNOW_INVOKE_CASE
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
    if (SUCCEEDED(hr) && pVarResult) PutResult(method->ret, args, pVarResult);
    SysFreeString(args.text);
    return hr;
  });
}

}  // namespace kirnow::server
