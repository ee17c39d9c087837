#include "testutility/core/linedisplay1.h"

#include <cstdio>
#include <vector>

#include "opos/line_display_dispids.h"
#include "testutility/core/utf.h"

namespace polecheck {

// The control's DISPIDs (kDisp...).
using namespace kirnow;

namespace {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "automation strings are UTF-16");

const OLECHAR* AsOle(const char16_t* s) { return reinterpret_cast<const OLECHAR*>(s); }
const char16_t* AsU16(const OLECHAR* s) { return reinterpret_cast<const char16_t*>(s); }

std::u16string FromBstr(BSTR b) {
  if (b == nullptr) return {};
  return std::u16string(AsU16(b), SysStringLen(b));
}

// Converts a result to a 32-bit integer the way an automation client coerces it.
bool ToI4(const VARIANT& v, int32_t& out) {
  switch (v.vt) {
    case VT_I4:
      out = v.lVal;
      return true;
    case VT_I2:
      out = v.iVal;
      return true;
    case VT_BOOL:
      out = v.boolVal;
      return true;
    case VT_UI1:
      out = v.bVal;
      return true;
    case VT_EMPTY:
      out = 0;
      return true;
    default:
      return false;
  }
}

// Owns the BSTRs built for one call's arguments.
class ArgBlock {
 public:
  explicit ArgBlock(std::initializer_list<CLinedisplay1::Arg> args) : vars_(args.size()) {
    // Automation passes arguments last to first.
    size_t i = args.size();
    for (const auto& a : args) {
      VARIANT& v = vars_[--i];
      VariantInit(&v);
      switch (a.kind) {
        case CLinedisplay1::Arg::Kind::I4:
          v.vt = VT_I4;
          v.lVal = a.i4;
          break;
        case CLinedisplay1::Arg::Kind::Bool:
          v.vt = VT_BOOL;
          v.boolVal = a.i4 ? VARIANT_TRUE : VARIANT_FALSE;
          break;
        case CLinedisplay1::Arg::Kind::Text:
          v.vt = VT_BSTR;
          v.bstrVal = SysAllocStringLen(AsOle(a.text.data()), static_cast<UINT>(a.text.size()));
          if (v.bstrVal == nullptr) throw DispatchError(E_OUTOFMEMORY, "");
          break;
      }
    }
  }
  ~ArgBlock() {
    for (auto& v : vars_) VariantClear(&v);
  }
  ArgBlock(const ArgBlock&) = delete;
  ArgBlock& operator=(const ArgBlock&) = delete;
  VARIANT* data() { return vars_.empty() ? nullptr : vars_.data(); }
  UINT size() const { return static_cast<UINT>(vars_.size()); }

 private:
  std::vector<VARIANT> vars_;
};

}  // namespace

DispatchError::DispatchError(HRESULT hr, std::string description)
    : std::runtime_error(description.empty() ? "dispatch call failed" : description),
      hr_(hr),
      description_(std::move(description)) {}

std::string DispatchError::UserText() const {
  if (!description_.empty()) return description_;
  char buf[96];
  std::snprintf(buf, sizeof buf, "The control object failed the call (error 0x%08X).",
                static_cast<unsigned>(hr_));
  return buf;
}

CLinedisplay1::CLinedisplay1(IDispatch* control) { Attach(control); }

CLinedisplay1::~CLinedisplay1() {
  if (control_ != nullptr) control_->Release();
}

void CLinedisplay1::Attach(IDispatch* control) {
  if (control != nullptr) control->AddRef();
  if (control_ != nullptr) control_->Release();
  control_ = control;
}

void CLinedisplay1::InvokeHelper(DISPID id, WORD kind, std::initializer_list<Arg> args,
                                 VARIANT* result) {
  if (control_ == nullptr) throw DispatchError(E_POINTER, "The control object is not created.");
  ArgBlock block(args);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = block.data();
  params.cArgs = block.size();
  if (kind == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  EXCEPINFO info{};
  UINT argErr = 0;
  const HRESULT hr = control_->Invoke(id, IID_NULL, 0, kind, &params, result, &info, &argErr);
  if (FAILED(hr)) {
    std::string description;
    if (hr == DISP_E_EXCEPTION) description = Utf16ToUtf8(FromBstr(info.bstrDescription));
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    if (result != nullptr) VariantClear(result);
    throw DispatchError(hr == DISP_E_EXCEPTION && info.scode != 0 ? info.scode : hr,
                        std::move(description));
  }
}

int32_t CLinedisplay1::InvokeI4(DISPID id, WORD kind, std::initializer_list<Arg> args) {
  VARIANT result;
  VariantInit(&result);
  InvokeHelper(id, kind, args, &result);
  int32_t value = 0;
  const bool ok = ToI4(result, value);
  VariantClear(&result);
  if (!ok) throw DispatchError(DISP_E_TYPEMISMATCH, "");
  return value;
}

void CLinedisplay1::Put(DISPID id, Arg value) {
  InvokeHelper(id, DISPATCH_PROPERTYPUT, {value}, nullptr);
}

void CLinedisplay1::SetDeviceEnabled(bool enabled) { Put(kDispDeviceEnabled, Arg::Bool(enabled)); }

int32_t CLinedisplay1::GetResultCode() {
  return InvokeI4(kDispResultCode, DISPATCH_PROPERTYGET, {});
}

std::u16string CLinedisplay1::GetDeviceName() {
  VARIANT result;
  VariantInit(&result);
  InvokeHelper(kDispDeviceName, DISPATCH_PROPERTYGET, {}, &result);
  if (result.vt == VT_EMPTY) return {};
  if (result.vt != VT_BSTR) {
    VariantClear(&result);
    throw DispatchError(DISP_E_TYPEMISMATCH, "");
  }
  std::u16string name = FromBstr(result.bstrVal);
  VariantClear(&result);
  return name;
}

int32_t CLinedisplay1::ClaimDevice(int32_t timeout) {
  return InvokeI4(kDispClaimDevice, DISPATCH_METHOD, {Arg::I4(timeout)});
}

int32_t CLinedisplay1::Close() { return InvokeI4(kDispClose, DISPATCH_METHOD, {}); }

int32_t CLinedisplay1::Open(std::u16string_view deviceName) {
  return InvokeI4(kDispOpen, DISPATCH_METHOD, {Arg::Text(deviceName)});
}

bool CLinedisplay1::GetClaimed() { return InvokeI4(kDispClaimed, DISPATCH_PROPERTYGET, {}) != 0; }

int32_t CLinedisplay1::GetCurrentWindow() {
  return InvokeI4(kDispCurrentWindow, DISPATCH_PROPERTYGET, {});
}

void CLinedisplay1::SetCurrentWindow(int32_t window) { Put(kDispCurrentWindow, Arg::I4(window)); }

void CLinedisplay1::SetInterCharacterWait(int32_t ms) { Put(kDispInterCharacterWait, Arg::I4(ms)); }

void CLinedisplay1::SetMarqueeType(int32_t type) { Put(kDispMarqueeType, Arg::I4(type)); }

void CLinedisplay1::SetMarqueeUnitWait(int32_t ms) { Put(kDispMarqueeUnitWait, Arg::I4(ms)); }

int32_t CLinedisplay1::ClearText() { return InvokeI4(kDispClearText, DISPATCH_METHOD, {}); }

int32_t CLinedisplay1::CreateWindow(int32_t viewportRow, int32_t viewportColumn,
                                    int32_t viewportHeight, int32_t viewportWidth,
                                    int32_t windowHeight, int32_t windowWidth) {
  return InvokeI4(kDispCreateWindow, DISPATCH_METHOD,
                  {Arg::I4(viewportRow), Arg::I4(viewportColumn), Arg::I4(viewportHeight),
                   Arg::I4(viewportWidth), Arg::I4(windowHeight), Arg::I4(windowWidth)});
}

int32_t CLinedisplay1::DestroyWindow() { return InvokeI4(kDispDestroyWindow, DISPATCH_METHOD, {}); }

int32_t CLinedisplay1::DisplayText(std::u16string_view data, int32_t attribute) {
  return InvokeI4(kDispDisplayText, DISPATCH_METHOD, {Arg::Text(data), Arg::I4(attribute)});
}

int32_t CLinedisplay1::DisplayTextAt(int32_t row, int32_t column, std::u16string_view data,
                                     int32_t attribute) {
  return InvokeI4(kDispDisplayTextAt, DISPATCH_METHOD,
                  {Arg::I4(row), Arg::I4(column), Arg::Text(data), Arg::I4(attribute)});
}

}  // namespace polecheck
