// VARIANTs from fuzz input; see variant_arena.h.
#include "tests/fuzz/variant_arena.h"

#include <cstring>

namespace kirnow::fuzz {

namespace {

// The types a caller may put in a variant (or ask for), and a few it should not.
constexpr VARTYPE kTypes[] = {VT_EMPTY,   VT_NULL,    VT_I2,      VT_I4,       VT_R4,    VT_R8,
                              VT_CY,      VT_DATE,    VT_BSTR,    VT_DISPATCH, VT_ERROR, VT_BOOL,
                              VT_VARIANT, VT_UNKNOWN, VT_DECIMAL, VT_I1,       VT_UI1,   VT_UI2,
                              VT_UI4,     VT_I8,      VT_UI8,     VT_INT,      VT_UINT,  VT_VOID,
                              VT_HRESULT, 0x0F,       0x24,       0xFFF};

// A new BSTR of the bytes, one character each (as Latin-1).
BSTR Latin1(std::string_view bytes) {
  std::u16string text;
  for (char c : bytes) text.push_back(static_cast<unsigned char>(c));
  return com::AllocBstr(text);
}

}  // namespace

VARTYPE PickType(Input& in) { return kTypes[in.Pick(sizeof kTypes / sizeof kTypes[0])]; }

VariantArena::~VariantArena() {
  for (VARIANT& v : variants_) VariantClear(&v);
  for (BSTR s : strings_) SysFreeString(s);
  for (IUnknown* u : objects_) {
    if (u) u->Release();
  }
  FUZZ_CHECK(object_.refs == 1);
}

VARIANT* VariantArena::Hold(const VARIANT& v) {
  variants_.push_back(v);
  return &variants_.back();
}

VARIANT VariantArena::Referring(const VARIANT& v) {
  // A copy of its own (a string duplicated, an object with a reference), cleared with the rest.
  VARIANT* inner = Hold(VARIANT{});
  VariantInit(inner);
  VariantCopy(inner, &v);
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = inner;
  return ref;
}

VARIANT* VariantArena::MakeOwned(Input& in, int depth) {
  const uint8_t shape = in.Byte();
  const VARTYPE base = PickType(in);
  VARIANT v;
  VariantInit(&v);

  if ((shape & 0x03) == 0x03) {
    // By reference.
    v.vt = static_cast<VARTYPE>(VT_BYREF | base);
    if (shape & 0x04) return Hold(v);  // to nothing
    switch (base) {
      case VT_BSTR:
        strings_.push_back((shape & 0x08) ? nullptr : Latin1(in.Bytes(40)));
        v.pbstrVal = &strings_.back();
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        objects_.push_back(nullptr);
        if (!(shape & 0x08)) {
          object_.AddRef();
          objects_.back() = &object_;
        }
        v.ppunkVal = &objects_.back();
        break;
      case VT_VARIANT:
        if (shape & 0x08) {
          // Refers to itself.
          VARIANT* self = Hold(v);
          self->pvarVal = self;
          return self;
        }
        v.pvarVal = depth < 3 ? MakeOwned(in, depth + 1) : Hold(VARIANT{});
        break;
      default: {
        Slot slot;
        std::memset(&slot, 0, sizeof slot);
        slot.i = static_cast<int64_t>(in.U64());
        numbers_.push_back(slot);
        v.byref = &numbers_.back();
        break;
      }
    }
    return Hold(v);
  }

  if ((shape & 0x03) == 0x02 && (shape & 0x10)) {
    // An array: nothing here reads one, so its pointer stays null.
    v.vt = static_cast<VARTYPE>(VT_ARRAY | base);
    return Hold(v);
  }

  v.vt = base;
  switch (base) {
    case VT_BSTR:
      v.bstrVal = (shape & 0x08) ? nullptr : Latin1(in.Bytes(40));
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (!(shape & 0x08)) {
        object_.AddRef();
        v.pdispVal = &object_;
      }
      break;
    case VT_VARIANT:
      break;  // a VARIANT by value is no value at all
    case VT_R8:
    case VT_DATE:
      // Mostly reals that are near whole numbers or halves, else any bits (NaN, infinities).
      if (shape & 0x08) {
        v.llVal = static_cast<int64_t>(in.U64());
      } else {
        v.dblVal = static_cast<double>(static_cast<int32_t>(in.U32())) / (1 << (in.Byte() % 24));
        v.dblVal *= (shape & 0x20) ? 1e12 : 1;
      }
      break;
    case VT_R4:
      if (shape & 0x08) {
        v.lVal = static_cast<LONG>(in.U32());
      } else {
        v.fltVal = static_cast<float>(static_cast<int32_t>(in.U32())) / (1 << (in.Byte() % 24));
      }
      break;
    default:
      v.llVal = static_cast<int64_t>(in.U64());
      break;
  }
  return Hold(v);
}

}  // namespace kirnow::fuzz
