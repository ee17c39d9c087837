// Fuzz target: VariantChangeType of the Linux COM layer, on variants of every shape (see
// variant_arena.h). It must never crash or leak; a failure leaves the destination as it was; the
// same value through a referenced VARIANT converts alike; numbers written as text read back as
// the same number; text that reads as a number is TRUE exactly when that number is not zero.
#include <cmath>
#include <cstring>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/variant_arena.h"

using namespace kirnow;
using fuzz::Input;
using fuzz::VariantArena;

namespace {

bool IsInteger(VARTYPE t) {
  switch (t) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_ERROR:
      return true;
    default:
      return false;
  }
}

size_t SizeOf(VARTYPE t) {
  switch (t) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
      return 8;
    default:
      return 4;
  }
}

// The value of a by-value or plainly referenced variant of a number type, as raw bytes.
int64_t RawValue(const VARIANT& v) {
  int64_t raw = 0;
  const void* from = (v.vt & VT_BYREF) ? v.byref : static_cast<const void*>(&v.llVal);
  std::memcpy(&raw, from, SizeOf(v.vt & VT_TYPEMASK));
  return raw;
}

bool SameResult(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  if (a.vt == VT_BSTR) return com::BstrView(a.bstrVal) == com::BstrView(b.bstrVal);
  return a.llVal == b.llVal;  // results start zeroed, so unused bytes agree
}

void CheckBackFromText(const VARIANT& src, const VARIANT& text, USHORT flags) {
  const VARTYPE base = src.vt & VT_TYPEMASK;
  com::Variant back;
  if (IsInteger(base)) {
    FUZZ_CHECK(VariantChangeType(back.get(), &text, flags, base) == S_OK);
    const int64_t mask = SizeOf(base) == 8 ? -1 : (int64_t{1} << (8 * SizeOf(base))) - 1;
    FUZZ_CHECK((RawValue(*back.get()) & mask) == (RawValue(src) & mask));
  } else if (base == VT_BOOL) {
    FUZZ_CHECK(VariantChangeType(back.get(), &text, flags, VT_BOOL) == S_OK);
    FUZZ_CHECK((back->boolVal != 0) == (static_cast<int16_t>(RawValue(src)) != 0));
  } else if (base == VT_R8 || base == VT_R4 || base == VT_DATE) {
    // Written with 15 digits, a real reads back as the real that is written the same way.
    double r = 0;
    if (base == VT_R4) {
      float f = 0;
      std::memcpy(&f, (src.vt & VT_BYREF) ? src.byref : &src.fltVal, sizeof f);
      r = f;
    } else {
      std::memcpy(&r, (src.vt & VT_BYREF) ? src.byref : &src.dblVal, sizeof r);
    }
    if (!std::isfinite(r)) return;
    const HRESULT hr = VariantChangeType(back.get(), &text, flags, VT_R8);
    // Rounded to 15 digits, the very largest reals exceed the largest double, as they do in
    // oleaut32: those alone may not come back.
    if (hr == DISP_E_OVERFLOW && std::fabs(r) > 1.79769313486231e308) return;
    FUZZ_CHECK(hr == S_OK);
    com::Variant again;
    FUZZ_CHECK(VariantChangeType(again.get(), back.get(), flags, VT_BSTR) == S_OK);
    FUZZ_CHECK(com::BstrView(again->bstrVal) == com::BstrView(text.bstrVal));
  }
}

void CheckTextAsBool(const VARIANT& src, USHORT flags) {
  com::Variant real, truth;
  if (VariantChangeType(real.get(), &src, flags, VT_R8) != S_OK) return;
  FUZZ_CHECK(VariantChangeType(truth.get(), &src, flags, VT_BOOL) == S_OK);
  FUZZ_CHECK(truth->boolVal == (real->dblVal != 0 ? VARIANT_TRUE : VARIANT_FALSE));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  VariantArena arena;
  const VARIANT src = arena.Make(in);
  VARTYPE to = fuzz::PickType(in);
  const uint8_t how = in.Byte();
  if (how & 0x40) to |= (how & 0x80) ? VT_BYREF : VT_ARRAY;
  const USHORT flags = how & 0x03;

  // Out of place, over a destination that holds a string: kept on failure, freed on success.
  com::Variant dest;
  dest->vt = VT_BSTR;
  dest->bstrVal = com::AllocBstr(u"before");
  const BSTR before = dest->bstrVal;
  const HRESULT hr = VariantChangeType(dest.get(), &src, flags, to);
  if (SUCCEEDED(hr)) {
    FUZZ_CHECK(dest->vt == to);
  } else {
    FUZZ_CHECK(dest->vt == VT_BSTR && dest->bstrVal == before);
  }

  // The same value through a referenced VARIANT, unless it is one already (then it is refused).
  const VARIANT ref = arena.Referring(src);
  if (ref.pvarVal->vt == src.vt && src.vt != to) {
    com::Variant viaRef;
    const HRESULT refHr = VariantChangeType(viaRef.get(), &ref, flags, to);
    if (src.vt == (VT_BYREF | VT_VARIANT)) {
      FUZZ_CHECK(refHr == E_INVALIDARG || refHr == DISP_E_BADVARTYPE);
    } else {
      FUZZ_CHECK(refHr == hr);
      if (SUCCEEDED(hr)) FUZZ_CHECK(SameResult(*viaRef.get(), *dest.get()));
    }
  }

  // In place, on a copy of the arena's.
  VARIANT copy = arena.Referring(src);
  VARIANT* own = copy.pvarVal;
  const VARTYPE ownType = own->vt;
  const HRESULT inPlace = VariantChangeType(own, own, flags, to);
  FUZZ_CHECK(SUCCEEDED(inPlace) ? own->vt == to : own->vt == ownType);

  const VARTYPE base = src.vt & VT_TYPEMASK;
  const bool plain =
      !(src.vt & VT_ARRAY) && (!(src.vt & VT_BYREF) || src.byref != nullptr) && base != VT_VARIANT;
  if (plain && to == VT_BSTR && hr == S_OK) CheckBackFromText(src, *dest.get(), flags);
  if (plain && base == VT_BSTR) CheckTextAsBool(src, flags);
  return 0;
}
