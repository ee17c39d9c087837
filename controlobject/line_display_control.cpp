// The LineDisplay control object.
#include "controlobject/line_display_control.h"

#include <algorithm>
#include <array>
#include <new>
#include <span>
#include <vector>

#include "platform/text/name_compare.h"
#include "serviceobject/com/dispatch_table.h"
#include "serviceobject/com/iposl_display_methods.h"

namespace kirnow::control {

namespace {

constexpr const char* kDeviceEntries =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay";
constexpr char16_t kDeviceClass[] = u"LineDisplay";

// The service object's methods this control object calls; each must be there.
#define KIRNOW_METHOD_NAME(id, name, signature, call) #name,
constexpr std::array<const char*, kirnow::dispatch::kMethodCount> kAllMethods = {
    KIRNOW_IPOSLDISPLAY_METHODS(KIRNOW_METHOD_NAME)};
#undef KIRNOW_METHOD_NAME
constexpr std::span<const char* const> kServiceMethods(kAllMethods.data(),
                                                       KIRNOW_IPOSLDISPLAY_CONTROL_METHOD_COUNT);

struct Member {
  const char* name;
  DISPID id;
};
constexpr std::array<Member, 16> kMembers = {{{"DeviceEnabled", kDispDeviceEnabled},
                                              {"ResultCode", kDispResultCode},
                                              {"DeviceName", kDispDeviceName},
                                              {"ClaimDevice", kDispClaimDevice},
                                              {"Close", kDispClose},
                                              {"Open", kDispOpen},
                                              {"Claimed", kDispClaimed},
                                              {"CurrentWindow", kDispCurrentWindow},
                                              {"InterCharacterWait", kDispInterCharacterWait},
                                              {"MarqueeType", kDispMarqueeType},
                                              {"MarqueeUnitWait", kDispMarqueeUnitWait},
                                              {"ClearText", kDispClearText},
                                              {"CreateWindow", kDispCreateWindow},
                                              {"DestroyWindow", kDispDestroyWindow},
                                              {"DisplayText", kDispDisplayText},
                                              {"DisplayTextAt", kDispDisplayTextAt}}};

VARIANT I4(int32_t v) { return com::LongArg(v); }
VARIANT Str(const com::Bstr& s) { return com::BstrArg(s.get()); }

std::u16string_view View(const OLECHAR* s) {
  return s ? std::u16string_view(reinterpret_cast<const char16_t*>(s)) : std::u16string_view();
}

}  // namespace

// ---- Creation and identity --------------------------------------------------------------------

LineDisplayControl::LineDisplayControl(std::unique_ptr<platform::Registry> registry,
                                       std::unique_ptr<ServiceObjectLoader> loader)
    : registry_(std::move(registry)), loader_(std::move(loader)) {}

LineDisplayControl::~LineDisplayControl() {
  // A host that lets go of an open device closes it, as Close would.
  try {
    if (so_) Close();
  } catch (...) {
  }
}

LineDisplayControl* LineDisplayControl::Create(std::unique_ptr<platform::Registry> registry,
                                               std::unique_ptr<ServiceObjectLoader> loader) {
  if (!registry || !loader) return nullptr;
  return new (std::nothrow) LineDisplayControl(std::move(registry), std::move(loader));
}

IDispatch* CreateLineDisplayControl() {
  try {
    auto registry = platform::MakeSystemRegistry();
    if (!registry) return nullptr;
    auto loader = MakeSystemServiceObjectLoader(*registry);
    return LineDisplayControl::Create(std::move(registry), std::move(loader));
  } catch (...) {
    return nullptr;
  }
}

HRESULT LineDisplayControl::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG LineDisplayControl::AddRef() { return ++refs_; }

ULONG LineDisplayControl::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT LineDisplayControl::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT LineDisplayControl::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT LineDisplayControl::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                          DISPID* rgDispId) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!rgszNames || !rgDispId) return E_POINTER;
  if (cNames == 0) return E_INVALIDARG;
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  for (const Member& m : kMembers) {
    if (text::EqualsNoCase(m.name, View(rgszNames[0]))) {
      rgDispId[0] = m.id;
      return cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

// ---- The service object ---------------------------------------------------------------------

std::string LineDisplayControl::FindDeviceEntry(const std::string& logicalName) {
  // A name with a backslash would reach outside the device entries.
  if (logicalName.empty() || logicalName.find('\\') != std::string::npos) return {};
  const std::string base = kDeviceEntries;
  // A string value of that name maps the logical name to its device entry...
  if (auto v = registry_->GetValue(base, logicalName)) {
    if (auto entry = v->AsString(); entry && !entry->empty() &&
                                    entry->find('\\') == std::string::npos &&
                                    registry_->KeyExists(base + "\\" + *entry)) {
      return *entry;
    }
  }
  // ...else the device entry bears the logical name itself.
  if (registry_->KeyExists(base + "\\" + logicalName)) return logicalName;
  return {};
}

HRESULT LineDisplayControl::CallSo(const char* method, std::initializer_list<VARIANT> args,
                                   VARIANT* result) {
  if (!so_) return E_UNEXPECTED;
  auto it = soDispids_.find(method);
  if (it == soDispids_.end()) return DISP_E_MEMBERNOTFOUND;
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO info{};
  UINT argErr = 0;
  const HRESULT hr =
      so_->Invoke(it->second, IID_NULL, 0, DISPATCH_METHOD, &params, result, &info, &argErr);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  return hr;
}

int32_t LineDisplayControl::CallSoRc(const char* method, std::initializer_list<VARIANT> args) {
  if (!so_) {
    Fail(OPOS_E_CLOSED);
    return OPOS_E_CLOSED;
  }
  com::Variant result;
  const HRESULT hr = CallSo(method, args, result.get());
  if (FAILED(hr) || FAILED(VariantChangeType(result.get(), result.get(), 0, VT_I4))) {
    Fail(OPOS_E_FAILURE);
    return OPOS_E_FAILURE;
  }
  ownResult_ = -1;  // ResultCode is the service object's again
  return result->lVal;
}

void LineDisplayControl::ReleaseService() {
  so_.reset();
  soDispids_.clear();
  loader_->Unload();
}

int32_t LineDisplayControl::Open(std::u16string_view deviceName) {
  if (so_) {
    Fail(OPOS_E_ILLEGAL);
    return OPOS_E_ILLEGAL;
  }
  const std::string entry = FindDeviceEntry(com::Utf16ToUtf8(deviceName));
  if (entry.empty()) {
    Fail(OPOS_E_NOEXIST);
    return OPOS_E_NOEXIST;
  }
  const auto progIdValue = registry_->GetValue(std::string(kDeviceEntries) + "\\" + entry, "");
  const auto progId = progIdValue ? progIdValue->AsString() : std::nullopt;
  if (!progId || progId->empty()) {
    Fail(OPOS_E_NOEXIST);
    return OPOS_E_NOEXIST;
  }
  IDispatch* raw = nullptr;
  const LoadResult loaded = loader_->Create(*progId, &raw);
  if (loaded.status != LoadStatus::Created) {
    const int32_t code = loaded.status == LoadStatus::NotFound ? OPOS_E_NOEXIST : OPOS_E_NOSERVICE;
    Fail(code);
    return code;
  }
  so_ = com::Ref<IDispatch>(raw);

  for (const char* name : kServiceMethods) {
    const std::u16string wide = com::Utf8ToUtf16(name);
    OLECHAR* names[] = {const_cast<OLECHAR*>(reinterpret_cast<const OLECHAR*>(wide.c_str()))};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(so_->GetIDsOfNames(IID_NULL, names, 1, 0, &id))) {
      ReleaseService();
      Fail(OPOS_E_NOSERVICE);
      return OPOS_E_NOSERVICE;
    }
    soDispids_[name] = id;
  }

  const com::Bstr deviceClass(kDeviceClass), name(deviceName);
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_DISPATCH;
  self.pdispVal = this;
  com::Variant result;
  HRESULT hr = CallSo("OpenService", {Str(deviceClass), Str(name), self}, result.get());
  if (SUCCEEDED(hr)) hr = VariantChangeType(result.get(), result.get(), 0, VT_I4);
  if (FAILED(hr)) {
    ReleaseService();
    Fail(OPOS_E_NOSERVICE);
    return OPOS_E_NOSERVICE;
  }
  if (result->lVal != OPOS_SUCCESS) {
    const int32_t code = result->lVal;
    ReleaseService();
    Fail(code);
    return code;
  }
  // Only a service object of major version 1 speaks the protocol this control object knows.
  com::Variant version;
  hr = CallSo("GetPropertyNumber", {I4(PIDX_ServiceObjectVersion)}, version.get());
  if (SUCCEEDED(hr)) hr = VariantChangeType(version.get(), version.get(), 0, VT_I4);
  if (FAILED(hr) || version->lVal / 1000000 != 1) {
    com::Variant ignored;
    CallSo("CloseService", {}, ignored.get());
    ReleaseService();
    Fail(OPOS_E_NOSERVICE);
    return OPOS_E_NOSERVICE;
  }
  ownResult_ = -1;
  return OPOS_SUCCESS;
}

int32_t LineDisplayControl::Close() {
  if (!so_) {
    Fail(OPOS_E_CLOSED);
    return OPOS_E_CLOSED;
  }
  const int32_t rc = CallSoRc("CloseService", {});
  ReleaseService();
  ownResult_ = rc;
  return rc;
}

int32_t LineDisplayControl::ClaimDevice(int32_t timeout) {
  return CallSoRc("ClaimDevice", {I4(timeout)});
}

int32_t LineDisplayControl::ClearText() { return CallSoRc("ClearText", {}); }

int32_t LineDisplayControl::CreateWindow(int32_t viewportRow, int32_t viewportColumn,
                                         int32_t viewportHeight, int32_t viewportWidth,
                                         int32_t windowHeight, int32_t windowWidth) {
  return CallSoRc("CreateWindow", {I4(viewportRow), I4(viewportColumn), I4(viewportHeight),
                                   I4(viewportWidth), I4(windowHeight), I4(windowWidth)});
}

int32_t LineDisplayControl::DestroyWindow() { return CallSoRc("DestroyWindow", {}); }

int32_t LineDisplayControl::DisplayText(std::u16string_view data, int32_t attribute) {
  const com::Bstr text(data);
  return CallSoRc("DisplayText", {Str(text), I4(attribute)});
}

int32_t LineDisplayControl::DisplayTextAt(int32_t row, int32_t column, std::u16string_view data,
                                          int32_t attribute) {
  const com::Bstr text(data);
  return CallSoRc("DisplayTextAt", {I4(row), I4(column), Str(text), I4(attribute)});
}

int32_t LineDisplayControl::GetNumber(int32_t pidx) {
  if (!so_) return 0;
  com::Variant result;
  const HRESULT hr = CallSo("GetPropertyNumber", {I4(pidx)}, result.get());
  if (FAILED(hr) || FAILED(VariantChangeType(result.get(), result.get(), 0, VT_I4))) return 0;
  return result->lVal;
}

void LineDisplayControl::SetNumber(int32_t pidx, int32_t value) {
  if (!so_) {
    Fail(OPOS_E_CLOSED);
    return;
  }
  com::Variant ignored;
  if (FAILED(CallSo("SetPropertyNumber", {I4(pidx), I4(value)}, ignored.get()))) {
    Fail(OPOS_E_FAILURE);
    return;
  }
  ownResult_ = -1;
}

int32_t LineDisplayControl::ResultCode() {
  if (ownResult_ >= 0) return ownResult_;
  if (!so_) return OPOS_E_CLOSED;
  return GetNumber(PIDX_ResultCode);
}

std::u16string LineDisplayControl::DeviceName() {
  if (!so_) return {};
  com::Variant result;
  const HRESULT hr = CallSo("GetPropertyString", {I4(PIDX_DeviceName)}, result.get());
  if (FAILED(hr) || FAILED(VariantChangeType(result.get(), result.get(), 0, VT_BSTR))) return {};
  return std::u16string(com::BstrView(result->bstrVal));
}

// ---- IDispatch::Invoke ------------------------------------------------------------------------

HRESULT LineDisplayControl::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                   UINT* puArgErr) {
  try {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!pDispParams) return E_INVALIDARG;
    const UINT cArgs = pDispParams->cArgs;
    if (cArgs && !pDispParams->rgvarg) return E_INVALIDARG;
    // Argument i in call order, converted to `vt` (owned by `slot`).
    std::vector<com::Variant> slots(cArgs);
    auto arg = [&](UINT i, VARTYPE vt, HRESULT& hr) -> VARIANT* {
      VARIANT* out = slots[i].get();
      hr = VariantChangeType(out, &pDispParams->rgvarg[cArgs - 1 - i], 0, vt);
      if (FAILED(hr) && puArgErr) *puArgErr = cArgs - 1 - i;
      return out;
    };
    auto expect = [&](UINT count) { return cArgs == count; };
    auto returnI4 = [&](int32_t v) {
      if (pVarResult) {
        VariantInit(pVarResult);
        pVarResult->vt = VT_I4;
        pVarResult->lVal = v;
      }
      return S_OK;
    };
    auto returnBool = [&](bool v) {
      if (pVarResult) {
        VariantInit(pVarResult);
        pVarResult->vt = VT_BOOL;
        pVarResult->boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
      }
      return S_OK;
    };
    const bool method = (wFlags & DISPATCH_METHOD) != 0;
    const bool get = (wFlags & DISPATCH_PROPERTYGET) != 0;
    const bool put = (wFlags & DISPATCH_PROPERTYPUT) != 0;
    HRESULT hr = S_OK;

    // Number properties forwarded by index.
    int32_t pidx = 0;
    switch (dispIdMember) {
      case kDispCurrentWindow:
        pidx = PIDXDisp_CurrentWindow;
        break;
      case kDispInterCharacterWait:
        pidx = PIDXDisp_InterCharacterWait;
        break;
      case kDispMarqueeType:
        pidx = PIDXDisp_MarqueeType;
        break;
      case kDispMarqueeUnitWait:
        pidx = PIDXDisp_MarqueeUnitWait;
        break;
      case kDispDeviceEnabled:
        pidx = PIDX_DeviceEnabled;
        break;
      default:
        break;
    }
    if (pidx != 0) {
      const bool boolean = dispIdMember == kDispDeviceEnabled;
      if (put) {
        if (!expect(1)) return DISP_E_BADPARAMCOUNT;
        VARIANT* v = arg(0, boolean ? VT_BOOL : VT_I4, hr);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        SetNumber(pidx, boolean ? (v->boolVal != VARIANT_FALSE ? 1 : 0) : v->lVal);
        return S_OK;
      }
      if (!get) return DISP_E_MEMBERNOTFOUND;
      if (!expect(0)) return DISP_E_BADPARAMCOUNT;
      const int32_t value = GetNumber(pidx);
      return boolean ? returnBool(value != 0) : returnI4(value);
    }

    switch (dispIdMember) {
      case kDispResultCode:
        if (!get || put) return DISP_E_MEMBERNOTFOUND;
        if (!expect(0)) return DISP_E_BADPARAMCOUNT;
        return returnI4(ResultCode());
      case kDispClaimed:
        if (!get || put) return DISP_E_MEMBERNOTFOUND;
        if (!expect(0)) return DISP_E_BADPARAMCOUNT;
        return returnBool(GetNumber(PIDX_Claimed) != 0);
      case kDispDeviceName: {
        if (!get || put) return DISP_E_MEMBERNOTFOUND;
        if (!expect(0)) return DISP_E_BADPARAMCOUNT;
        if (pVarResult) {
          BSTR s = com::AllocBstr(DeviceName());
          if (!s) return E_OUTOFMEMORY;
          VariantInit(pVarResult);
          pVarResult->vt = VT_BSTR;
          pVarResult->bstrVal = s;
        }
        return S_OK;
      }
      default:
        break;
    }

    if (!method) return DISP_E_MEMBERNOTFOUND;
    switch (dispIdMember) {
      case kDispOpen: {
        if (!expect(1)) return DISP_E_BADPARAMCOUNT;
        VARIANT* name = arg(0, VT_BSTR, hr);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        return returnI4(Open(com::BstrView(name->bstrVal)));
      }
      case kDispClose:
        if (!expect(0)) return DISP_E_BADPARAMCOUNT;
        return returnI4(Close());
      case kDispClaimDevice: {
        if (!expect(1)) return DISP_E_BADPARAMCOUNT;
        VARIANT* timeout = arg(0, VT_I4, hr);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        return returnI4(ClaimDevice(timeout->lVal));
      }
      case kDispClearText:
        if (!expect(0)) return DISP_E_BADPARAMCOUNT;
        return returnI4(ClearText());
      case kDispDestroyWindow:
        if (!expect(0)) return DISP_E_BADPARAMCOUNT;
        return returnI4(DestroyWindow());
      case kDispCreateWindow: {
        if (!expect(6)) return DISP_E_BADPARAMCOUNT;
        std::array<int32_t, 6> v{};
        for (UINT i = 0; i < 6; ++i) {
          VARIANT* x = arg(i, VT_I4, hr);
          if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
          v[i] = x->lVal;
        }
        return returnI4(CreateWindow(v[0], v[1], v[2], v[3], v[4], v[5]));
      }
      case kDispDisplayText: {
        if (!expect(2)) return DISP_E_BADPARAMCOUNT;
        VARIANT* data = arg(0, VT_BSTR, hr);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        VARIANT* attribute = arg(1, VT_I4, hr);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        return returnI4(DisplayText(com::BstrView(data->bstrVal), attribute->lVal));
      }
      case kDispDisplayTextAt: {
        if (!expect(4)) return DISP_E_BADPARAMCOUNT;
        VARIANT* row = arg(0, VT_I4, hr);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        VARIANT* column = arg(1, VT_I4, hr);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        VARIANT* data = arg(2, VT_BSTR, hr);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        VARIANT* attribute = arg(3, VT_I4, hr);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        return returnI4(
            DisplayTextAt(row->lVal, column->lVal, com::BstrView(data->bstrVal), attribute->lVal));
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace kirnow::control
