// The POSLDisplay COM object of the Linux server.
#include "serviceobject/com/posix/posl_display_object.h"

#include <array>
#include <new>
#include <string>

#include "serviceobject/com/dispatch_table.h"
#include "serviceobject/com/guids.h"
#include "serviceobject/display/display_engine.h"

namespace kirnow::posixcom {

const IID IID_IPOSLDisplay = KIRNOW_IID_IPOSLDISPLAY_INIT;
const IID DIID_IPOSLDisplayEvents = KIRNOW_DIID_IPOSLDISPLAYEVENTS_INIT;
const CLSID CLSID_POSLDisplay = KIRNOW_CLSID_POSLDISPLAY_INIT;

namespace {

// Runs `body`, turning any exception into an HRESULT: nothing escapes an interface method.
template <typename F>
HRESULT Guarded(F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// Replaces the BSTR in *slot by `text` (in/out string parameters: the callee frees the old one).
HRESULT PutBstr(BSTR* slot, std::u16string_view text) {
  BSTR fresh = com::AllocBstr(text);
  if (!fresh) return E_OUTOFMEMORY;
  SysFreeString(*slot);
  *slot = fresh;
  return S_OK;
}

// The connection-point enumerator over the empty set.
class EmptyConnectionPoints final : public IEnumConnectionPoints {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IEnumConnectionPoints)) {
      *ppv = static_cast<IEnumConnectionPoints*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** ppCP, ULONG* pcFetched) override {
    if (!ppCP) return E_POINTER;
    if (count != 1 && !pcFetched) return E_POINTER;
    if (pcFetched) *pcFetched = 0;
    return count == 0 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return count == 0 ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** ppEnum) override {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) EmptyConnectionPoints;
    if (!*ppEnum) return E_OUTOFMEMORY;
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace

// ---- Creation and identity --------------------------------------------------------------------

PoslDisplayObject::PoslDisplayObject(ComModule& module, IUnknown* outer)
    : module_(module), outer_(outer ? outer : &inner_), so_(module.State()) {
  inner_.self = this;
  module_.ObjectCreated();
}

PoslDisplayObject::~PoslDisplayObject() {
  // A client that releases the object with its session still open gets the session closed as
  // CloseService would; the last object also stops the marquee and blink workers, so that no
  // worker outlives the objects that could stop it.
  try {
    if (sessionOpen_) so_.CloseService();
    if (module_.ObjectDestroyed()) StopAllWorkers(module_.State());
  } catch (...) {
  }
}

HRESULT PoslDisplayObject::Create(ComModule& module, IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && !IsEqualGUID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return Guarded([&]() -> HRESULT {
    auto* object = new (std::nothrow) PoslDisplayObject(module, outer);
    if (!object) return E_OUTOFMEMORY;
    // Held once while the interface is queried, so that a failing query frees the object.
    object->inner_.AddRef();
    const HRESULT hr = object->inner_.QueryInterface(riid, ppv);
    object->inner_.Release();
    return hr;
  });
}

HRESULT PoslDisplayObject::Inner::QueryInterface(REFIID riid, void** ppv) {
  return self->InnerQueryInterface(riid, ppv);
}

ULONG PoslDisplayObject::Inner::AddRef() { return ++self->refs_; }

ULONG PoslDisplayObject::Inner::Release() {
  const ULONG left = --self->refs_;
  if (left == 0) delete self;
  return left;
}

HRESULT PoslDisplayObject::InnerQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown)) {
    *ppv = static_cast<IUnknown*>(&inner_);
  } else if (IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IPOSLDisplay)) {
    *ppv = static_cast<IPOSLDisplay*>(this);
  } else if (IsEqualGUID(riid, IID_IConnectionPointContainer)) {
    *ppv = static_cast<IConnectionPointContainer*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*ppv)->AddRef();
  return S_OK;
}

HRESULT PoslDisplayObject::QueryInterface(REFIID riid, void** ppv) {
  return outer_->QueryInterface(riid, ppv);
}
ULONG PoslDisplayObject::AddRef() { return outer_->AddRef(); }
ULONG PoslDisplayObject::Release() { return outer_->Release(); }

// ---- Connection points ------------------------------------------------------------------------

HRESULT PoslDisplayObject::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = new (std::nothrow) EmptyConnectionPoints;
  return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT PoslDisplayObject::FindConnectionPoint(REFIID, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  return CONNECT_E_NOCONNECTION;
}

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
      const std::string_view pn = method->params[static_cast<size_t>(p)].name;
      bool same = pn.size() == name.size();
      for (size_t k = 0; same && k < pn.size(); ++k) {
        char16_t a = static_cast<char16_t>(pn[k]), b = name[k];
        if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a + 32);
        if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b + 32);
        same = a == b;
      }
      if (same) rgDispId[i] = p;
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
      const VARIANT* v = arg;
      if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
      if (!v) return E_INVALIDARG;
      if (v->vt == VT_EMPTY || v->vt == VT_NULL) {
        a.d[i] = nullptr;
        return S_OK;
      }
      hr = VariantChangeType(temp, v, 0, VT_DISPATCH);  // holds a reference for the call
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

    // Arguments arrive last first; named ones lead the array.
    std::array<VARIANT*, dispatch::kMaxParams> byParam{};
    std::array<UINT, dispatch::kMaxParams> position{};
    const UINT positional = cArgs - cNamed;
    for (UINT k = 0; k < positional; ++k) {
      byParam[k] = &pDispParams->rgvarg[cArgs - 1 - k];
      position[k] = cArgs - 1 - k;
    }
    for (UINT k = 0; k < cNamed; ++k) {
      const DISPID p = pDispParams->rgdispidNamedArgs[k];
      if (p < 0 || p >= method->count || byParam[static_cast<size_t>(p)]) {
        if (puArgErr) *puArgErr = k;
        return DISP_E_PARAMNOTFOUND;
      }
      byParam[static_cast<size_t>(p)] = &pDispParams->rgvarg[k];
      position[static_cast<size_t>(p)] = k;
    }

    Args args;
    for (size_t i = 0; i < static_cast<size_t>(method->count); ++i) {
      const HRESULT hr = ConvertArg(method->params[i], byParam[i], i, args);
      if (FAILED(hr)) {
        if (puArgErr) *puArgErr = position[i];
        return hr == E_INVALIDARG || hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
      }
    }

    LONG rc = 0;
    BSTR text = nullptr;
    HRESULT hr = S_OK;
    const auto& l = args.l;
    const auto& s = args.s;
    switch (method->dispid) {
      case 1:
        hr = OpenService(s[0], s[1], args.d[2], &rc);
        break;
      case 2:
        hr = CloseService(&rc);
        break;
      case 3:
        hr = ClaimDevice(l[0], &rc);
        break;
      case 4:
        hr = ReleaseDevice(&rc);
        break;
      case 5:
        hr = CheckHealth(l[0], &rc);
        break;
      case 6:
        hr = DirectIO(l[0], args.lp[1], args.sp[2], &rc);
        break;
      case 7:
        hr = DisplayText(s[0], l[1], &rc);
        break;
      case 8:
        hr = DisplayTextAt(l[0], l[1], s[2], l[3], &rc);
        break;
      case 9:
        hr = ClearText(&rc);
        break;
      case 10:
        hr = ScrollText(l[0], l[1], &rc);
        break;
      case 11:
        hr = SetDescriptor(l[0], l[1], &rc);
        break;
      case 12:
        hr = ClearDescriptors(&rc);
        break;
      case 13:
        hr = RefreshWindow(l[0], &rc);
        break;
      case 14:
        hr = ReadCharacterAtCursor(args.lp[0], &rc);
        break;
      case 15:
        hr = DefineGlyph(l[0], s[1], &rc);
        break;
      case 16:
        hr = GetPropertyNumber(l[0], &rc);
        break;
      case 17:
        hr = SetPropertyNumber(l[0], l[1]);
        break;
      case 18:
        hr = GetPropertyString(l[0], &text);
        break;
      case 19:
        hr = SetPropertyString(l[0], s[1]);
        break;
      case 20:
        hr = COFreezeEvents(args.b[0], &rc);
        break;
      case 21:
        hr = CreateWindow(l[0], l[1], l[2], l[3], l[4], l[5], &rc);
        break;
      case 22:
        hr = DestroyWindow(&rc);
        break;
      case 23:
        hr = SOData(l[0]);
        break;
      case 24:
        hr = SODirectIO(l[0], args.lp[1], args.sp[2]);
        break;
      case 25:
        hr = SOError(l[0], l[1], l[2], args.lp[3]);
        break;
      case 26:
        hr = SOOutputComplete(l[0]);
        break;
      case 27:
        hr = SOStatusUpdate(l[0]);
        break;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
    if (FAILED(hr)) {
      SysFreeString(text);
      return hr;
    }
    if (pVarResult) {
      VariantInit(pVarResult);
      if (method->ret == dispatch::ReturnType::Long) {
        pVarResult->vt = VT_I4;
        pVarResult->lVal = rc;
      } else if (method->ret == dispatch::ReturnType::Bstr) {
        pVarResult->vt = VT_BSTR;
        pVarResult->bstrVal = text;
        text = nullptr;
      }
    }
    SysFreeString(text);
    return hr;
  });
}

// ---- IPOSLDisplay -----------------------------------------------------------------------------

namespace {

std::u16string_view View(BSTR s) { return com::BstrView(s); }

}  // namespace

#define KIRNOW_RC_METHOD(call)      \
  if (!pRC) return E_POINTER;       \
  return Guarded([&]() -> HRESULT { \
    *pRC = call;                    \
    return S_OK;                    \
  })

HRESULT PoslDisplayObject::OpenService(BSTR DeviceClass, BSTR DeviceName, IDispatch* pDispatch,
                                       LONG* pRC) {
  if (!pRC) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    *pRC = so_.OpenService(View(DeviceClass), View(DeviceName), pDispatch);
    sessionOpen_ = true;
    return S_OK;
  });
}

HRESULT PoslDisplayObject::CloseService(LONG* pRC) {
  if (!pRC) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    *pRC = so_.CloseService();
    sessionOpen_ = false;
    return S_OK;
  });
}

HRESULT PoslDisplayObject::ClaimDevice(LONG Timeout, LONG* pRC) {
  KIRNOW_RC_METHOD(so_.ClaimDevice(Timeout));
}
HRESULT PoslDisplayObject::ReleaseDevice(LONG* pRC) { KIRNOW_RC_METHOD(so_.ReleaseDevice()); }
HRESULT PoslDisplayObject::CheckHealth(LONG Level, LONG* pRC) {
  KIRNOW_RC_METHOD(so_.CheckHealth(Level));
}

HRESULT PoslDisplayObject::DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* pRC) {
  if (!pRC || !pData || !pString) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    std::u16string text(View(*pString));
    int32_t data = *pData;
    *pRC = so_.DirectIO(Command, &data, &text);
    *pData = data;
    if (text != View(*pString)) return PutBstr(pString, text);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::DisplayText(BSTR Data, LONG Attribute, LONG* pRC) {
  KIRNOW_RC_METHOD(so_.DisplayText(View(Data), Attribute));
}
HRESULT PoslDisplayObject::DisplayTextAt(LONG Row, LONG Column, BSTR Data, LONG Attribute,
                                         LONG* pRC) {
  KIRNOW_RC_METHOD(so_.DisplayTextAt(Row, Column, View(Data), Attribute));
}
HRESULT PoslDisplayObject::ClearText(LONG* pRC) { KIRNOW_RC_METHOD(so_.ClearText()); }
HRESULT PoslDisplayObject::ScrollText(LONG Direction, LONG Units, LONG* pRC) {
  KIRNOW_RC_METHOD(so_.ScrollText(Direction, Units));
}
HRESULT PoslDisplayObject::SetDescriptor(LONG Descriptor, LONG Attribute, LONG* pRC) {
  KIRNOW_RC_METHOD(so_.SetDescriptor(Descriptor, Attribute));
}
HRESULT PoslDisplayObject::ClearDescriptors(LONG* pRC) { KIRNOW_RC_METHOD(so_.ClearDescriptors()); }
HRESULT PoslDisplayObject::RefreshWindow(LONG Window, LONG* pRC) {
  KIRNOW_RC_METHOD(so_.RefreshWindow(Window));
}

HRESULT PoslDisplayObject::ReadCharacterAtCursor(LONG* pChar, LONG* pRC) {
  if (!pChar) return E_POINTER;
  KIRNOW_RC_METHOD(so_.ReadCharacterAtCursor(pChar));
}

HRESULT PoslDisplayObject::DefineGlyph(LONG GlyphCode, BSTR Glyph, LONG* pRC) {
  KIRNOW_RC_METHOD(so_.DefineGlyph(GlyphCode, View(Glyph)));
}

HRESULT PoslDisplayObject::GetPropertyNumber(LONG PropIndex, LONG* pNumber) {
  if (!pNumber) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    so_.GetPropertyNumber(PropIndex, pNumber);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SetPropertyNumber(LONG PropIndex, LONG Number) {
  return Guarded([&]() -> HRESULT {
    so_.SetPropertyNumber(PropIndex, Number);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::GetPropertyString(LONG PropIndex, BSTR* pString) {
  if (!pString) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    const std::u16string current(View(*pString));
    const auto answer = so_.GetPropertyString(PropIndex, &current);
    if (!answer) return S_OK;  // an index without a string leaves the caller's BSTR alone
    // A fresh string every call: the caller owns and frees it. What *pString held on entry
    // belongs to the caller as well ([out] parameter), so it is not freed here.
    BSTR fresh = com::AllocBstr(*answer);
    if (!fresh) return E_OUTOFMEMORY;
    *pString = fresh;
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SetPropertyString(LONG PropIndex, BSTR String) {
  return Guarded([&]() -> HRESULT {
    so_.SetPropertyString(PropIndex, View(String));
    return S_OK;
  });
}

HRESULT PoslDisplayObject::COFreezeEvents(VARIANT_BOOL Freeze, LONG* pRC) {
  KIRNOW_RC_METHOD(so_.COFreezeEvents(Freeze != VARIANT_FALSE));
}

HRESULT PoslDisplayObject::CreateWindow(LONG ViewportRow, LONG ViewportColumn, LONG ViewportHeight,
                                        LONG ViewportWidth, LONG WindowHeight, LONG WindowWidth,
                                        LONG* pRC) {
  KIRNOW_RC_METHOD(so_.CreateWindow(ViewportRow, ViewportColumn, ViewportHeight, ViewportWidth,
                                    WindowHeight, WindowWidth));
}

HRESULT PoslDisplayObject::DestroyWindow(LONG* pRC) { KIRNOW_RC_METHOD(so_.DestroyWindow()); }

HRESULT PoslDisplayObject::SOData(LONG Status) {
  return Guarded([&]() -> HRESULT {
    so_.SOData(Status);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SODirectIO(LONG EventNumber, LONG* pData, BSTR* pString) {
  if (!pData || !pString) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    std::u16string text(View(*pString));
    int32_t data = *pData;
    so_.SODirectIO(EventNumber, &data, &text);
    *pData = data;
    if (text != View(*pString)) return PutBstr(pString, text);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SOError(LONG ResultCode, LONG ResultCodeExtended, LONG ErrorLocus,
                                   LONG* pErrorResponse) {
  if (!pErrorResponse) return E_POINTER;
  return Guarded([&]() -> HRESULT {
    so_.SOError(ResultCode, ResultCodeExtended, ErrorLocus, pErrorResponse);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SOOutputComplete(LONG OutputID) {
  return Guarded([&]() -> HRESULT {
    so_.SOOutputComplete(OutputID);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SOStatusUpdate(LONG Data) {
  return Guarded([&]() -> HRESULT {
    so_.SOStatusUpdate(Data);
    return S_OK;
  });
}

#undef KIRNOW_RC_METHOD

}  // namespace kirnow::posixcom
