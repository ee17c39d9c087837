// The LineDisplay control object: finding and loading the service object, and the members as
// C++ calls. Its IDispatch is in control_dispatch.cpp.
#include "controlobject/line_display_control.h"

#include <algorithm>
#include <array>
#include <new>
#include <span>
#include <vector>

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

VARIANT I4(int32_t v) { return com::LongArg(v); }
VARIANT Str(const com::Bstr& s) { return com::BstrArg(s.get()); }

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
    // The control object reads the device entries only and numbers no device: no ids to serve
    // first.
    auto registry = platform::MakeSystemRegistry(platform::UsbIds{});
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

}  // namespace kirnow::control
