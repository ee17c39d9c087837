// IDispatch of the LineDisplay control object: its dispatch members as one table (name, DISPID,
// what kind of member, parameters, the call), from which GetIDsOfNames answers and Invoke checks
// and carries out a call.
#include <array>
#include <initializer_list>
#include <new>
#include <string>
#include <utility>

#include "controlobject/line_display_control.h"
#include "platform/text/name_compare.h"

namespace kirnow::control {

namespace {

constexpr UINT kMostParams = 6;

// A call's arguments in call order, each converted to the type its member declares.
class Args {
 public:
  VARIANT* slot(UINT i) { return slots_[i].get(); }
  int32_t Long(UINT i) const { return slots_[i].get()->lVal; }
  bool Bool(UINT i) const { return slots_[i].get()->boolVal != VARIANT_FALSE; }
  std::u16string_view Text(UINT i) const { return com::BstrView(slots_[i].get()->bstrVal); }

 private:
  std::array<com::Variant, kMostParams> slots_;
};

// What a member answers: a number (VT_I4), a boolean (VT_BOOL) or a string (VT_BSTR).
struct Value {
  Value(int32_t n) : vt(VT_I4), number(n) {}
  Value(bool b) : vt(VT_BOOL), number(b ? 1 : 0) {}
  Value(std::u16string s) : vt(VT_BSTR), text(std::move(s)) {}
  VARTYPE vt;
  int32_t number = 0;
  std::u16string text;
};
using Call = Value (*)(LineDisplayControl&, const Args&);

enum class Kind {
  Method,   // invoked as a method with its parameters
  Number,   // a number property of the service object, forwarded by its property index
  Reading,  // a property the control object answers itself, read only
};

struct Member {
  const char* name;
  DISPID id;
  Kind kind;
  Call call = nullptr;                        // Method: the call; Reading: the read
  std::array<VARTYPE, kMostParams> params{};  // Method: its parameters' types in call order
  UINT count = 0;                             // Method: how many parameters
  int32_t pidx = 0;                           // Number: the property index
  VARTYPE type = VT_I4;                       // Number: VT_I4, or VT_BOOL for a boolean
  bool writable = false;                      // Number: a put is forwarded too
};

constexpr Member Method(const char* name, DISPID id, std::initializer_list<VARTYPE> params,
                        Call call) {
  Member m{name, id, Kind::Method, call};
  for (const VARTYPE t : params) m.params[m.count++] = t;
  return m;
}

constexpr Member Number(const char* name, DISPID id, int32_t pidx, VARTYPE type, bool writable) {
  Member m{name, id, Kind::Number};
  m.pidx = pidx;
  m.type = type;
  m.writable = writable;
  return m;
}

constexpr Member Reading(const char* name, DISPID id, Call read) {
  return Member{name, id, Kind::Reading, read};
}

constexpr bool kWritable = true;
constexpr bool kReadOnly = false;

const std::array<Member, 16> kMembers = {
    Number("DeviceEnabled", kDispDeviceEnabled, PIDX_DeviceEnabled, VT_BOOL, kWritable),
    Reading("ResultCode", kDispResultCode,
            [](LineDisplayControl& c, const Args&) -> Value { return c.ResultCode(); }),
    Reading("DeviceName", kDispDeviceName,
            [](LineDisplayControl& c, const Args&) -> Value { return c.DeviceName(); }),
    Method("ClaimDevice", kDispClaimDevice, {VT_I4},
           [](LineDisplayControl& c, const Args& a) -> Value { return c.ClaimDevice(a.Long(0)); }),
    Method("Close", kDispClose, {},
           [](LineDisplayControl& c, const Args&) -> Value { return c.Close(); }),
    Method("Open", kDispOpen, {VT_BSTR},
           [](LineDisplayControl& c, const Args& a) -> Value { return c.Open(a.Text(0)); }),
    Number("Claimed", kDispClaimed, PIDX_Claimed, VT_BOOL, kReadOnly),
    Number("CurrentWindow", kDispCurrentWindow, PIDXDisp_CurrentWindow, VT_I4, kWritable),
    Number("InterCharacterWait", kDispInterCharacterWait, PIDXDisp_InterCharacterWait, VT_I4,
           kWritable),
    Number("MarqueeType", kDispMarqueeType, PIDXDisp_MarqueeType, VT_I4, kWritable),
    Number("MarqueeUnitWait", kDispMarqueeUnitWait, PIDXDisp_MarqueeUnitWait, VT_I4, kWritable),
    Method("ClearText", kDispClearText, {},
           [](LineDisplayControl& c, const Args&) -> Value { return c.ClearText(); }),
    Method("CreateWindow", kDispCreateWindow, {VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4},
           [](LineDisplayControl& c, const Args& a) -> Value {
             return c.CreateWindow(a.Long(0), a.Long(1), a.Long(2), a.Long(3), a.Long(4),
                                   a.Long(5));
           }),
    Method("DestroyWindow", kDispDestroyWindow, {},
           [](LineDisplayControl& c, const Args&) -> Value { return c.DestroyWindow(); }),
    Method("DisplayText", kDispDisplayText, {VT_BSTR, VT_I4},
           [](LineDisplayControl& c, const Args& a) -> Value {
             return c.DisplayText(a.Text(0), a.Long(1));
           }),
    Method("DisplayTextAt", kDispDisplayTextAt, {VT_I4, VT_I4, VT_BSTR, VT_I4},
           [](LineDisplayControl& c, const Args& a) -> Value {
             return c.DisplayTextAt(a.Long(0), a.Long(1), a.Text(2), a.Long(3));
           }),
};

const Member* FindMember(DISPID id) {
  for (const Member& m : kMembers) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

// Converts the call's first `count` arguments in call order to `types`; on a mismatch the
// argument's position goes to *puArgErr.
HRESULT ConvertArgs(const DISPPARAMS& p, const VARTYPE* types, UINT count, Args& args,
                    UINT* puArgErr) {
  for (UINT i = 0; i < count; ++i) {
    const UINT at = p.cArgs - 1 - i;
    if (FAILED(VariantChangeType(args.slot(i), &p.rgvarg[at], 0, types[i]))) {
      if (puArgErr) *puArgErr = at;
      return DISP_E_TYPEMISMATCH;
    }
  }
  return S_OK;
}

HRESULT Return(const Value& value, VARIANT* out) {
  if (!out) return S_OK;
  BSTR text = nullptr;
  if (value.vt == VT_BSTR) {
    text = com::AllocBstr(value.text);
    if (!text) return E_OUTOFMEMORY;
  }
  VariantInit(out);
  out->vt = value.vt;
  if (value.vt == VT_BSTR) {
    out->bstrVal = text;
  } else if (value.vt == VT_BOOL) {
    out->boolVal = value.number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  } else {
    out->lVal = value.number;
  }
  return S_OK;
}

}  // namespace

HRESULT LineDisplayControl::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                          DISPID* rgDispId) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!rgszNames || !rgDispId) return E_POINTER;
  if (cNames == 0) return E_INVALIDARG;
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  const std::u16string_view name =
      rgszNames[0] ? std::u16string_view(reinterpret_cast<const char16_t*>(rgszNames[0]))
                   : std::u16string_view();
  for (const Member& m : kMembers) {
    if (text::EqualsNoCase(m.name, name)) {
      rgDispId[0] = m.id;
      return cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT LineDisplayControl::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                   UINT* puArgErr) {
  try {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!pDispParams) return E_INVALIDARG;
    const DISPPARAMS& p = *pDispParams;
    if (p.cArgs && !p.rgvarg) return E_INVALIDARG;
    const Member* m = FindMember(dispIdMember);
    if (!m) return DISP_E_MEMBERNOTFOUND;
    const bool get = (wFlags & DISPATCH_PROPERTYGET) != 0;
    const bool put = (wFlags & DISPATCH_PROPERTYPUT) != 0;
    Args args;

    if (m->kind == Kind::Method) {
      if (!(wFlags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      if (p.cArgs != m->count) return DISP_E_BADPARAMCOUNT;
      const HRESULT hr = ConvertArgs(p, m->params.data(), m->count, args, puArgErr);
      if (FAILED(hr)) return hr;
      return Return(m->call(*this, args), pVarResult);
    }

    if (put && m->writable) {
      if (p.cArgs != 1) return DISP_E_BADPARAMCOUNT;
      const HRESULT hr = ConvertArgs(p, &m->type, 1, args, puArgErr);
      if (FAILED(hr)) return hr;
      SetNumber(m->pidx, m->type == VT_BOOL ? (args.Bool(0) ? 1 : 0) : args.Long(0));
      return S_OK;
    }
    if (!get || put) return DISP_E_MEMBERNOTFOUND;
    if (p.cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (m->kind == Kind::Reading) return Return(m->call(*this, args), pVarResult);
    const int32_t number = GetNumber(m->pidx);
    return Return(m->type == VT_BOOL ? Value(number != 0) : Value(number), pVarResult);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace kirnow::control
