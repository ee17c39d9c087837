// The OLE Automation runtime of the Linux build: the GUID text functions, the BSTR allocator and
// the VARIANT operations with Windows' semantics for the types in use, and the interface
// identifiers. On Windows oleaut32 and ole32 are the real thing.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "platform/com/com_types.h"
#include "platform/text/name_compare.h"

// ---- GUID text --------------------------------------------------------------------------------

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (!lpsz || cchMax < 39) return 0;
  const std::string s = kirnow::com::GuidToString(rguid);
  for (size_t i = 0; i < s.size(); ++i) lpsz[i] = static_cast<OLECHAR>(s[i]);
  lpsz[s.size()] = 0;
  return static_cast<int>(s.size() + 1);
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
  if (!pclsid) return E_INVALIDARG;
  if (!lpsz) {
    *pclsid = IID_NULL;
    return S_OK;
  }
  std::string narrow;
  for (const OLECHAR* p = lpsz; *p && narrow.size() < 40; ++p) {
    narrow.push_back(*p < 0x80 ? static_cast<char>(*p) : '?');
  }
  const auto g = kirnow::com::GuidFromString(narrow);
  if (!g) return CO_E_CLASSSTRING;
  *pclsid = *g;
  return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid) {
  const HRESULT hr = CLSIDFromString(lpsz, lpiid);
  return hr == CO_E_CLASSSTRING ? E_INVALIDARG : hr;
}

// ---- BSTR -------------------------------------------------------------------------------------

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);

BSTR AllocBytes(const void* data, UINT byteLen) {
  // Room for the prefix, the bytes, and a two-byte terminator (plus one when the byte length
  // is odd, so the terminator is always a whole zero character).
  const size_t total = kPrefix + static_cast<size_t>(byteLen) + 3;
  auto* block = static_cast<unsigned char*>(std::malloc(total));
  if (!block) return nullptr;
  const uint32_t len = byteLen;
  std::memcpy(block, &len, kPrefix);
  if (data) {
    std::memcpy(block + kPrefix, data, byteLen);
  } else {
    std::memset(block + kPrefix, 0, byteLen);
  }
  std::memset(block + kPrefix + byteLen, 0, 3);
  return reinterpret_cast<BSTR>(block + kPrefix);
}

unsigned char* BlockOf(BSTR s) { return reinterpret_cast<unsigned char*>(s) - kPrefix; }

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  size_t n = 0;
  while (psz[n]) ++n;
  if (n > std::numeric_limits<UINT>::max() / 4) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(n));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  if (ui > std::numeric_limits<uint32_t>::max() / 2 - 8) return nullptr;
  return AllocBytes(strIn, ui * 2);
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) {
  if (len > std::numeric_limits<uint32_t>::max() - 16) return nullptr;
  return AllocBytes(psz, len);
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  if (!pbstr) return FALSE;
  BSTR fresh = nullptr;
  if (psz) {
    fresh = SysAllocString(psz);
    if (!fresh) return FALSE;
  }
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

void SysFreeString(BSTR bstrString) {
  if (bstrString) std::free(BlockOf(bstrString));
}

UINT SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  uint32_t len = 0;
  std::memcpy(&len, BlockOf(bstr), kPrefix);
  return len;
}

UINT SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / 2; }

// ---- VARIANT ----------------------------------------------------------------------------------

void VariantInit(VARIANTARG* pvarg) {
  if (!pvarg) return;
  std::memset(pvarg, 0, sizeof *pvarg);
  pvarg->vt = VT_EMPTY;
}

namespace {

bool KnownBaseType(VARTYPE t) {
  switch (t) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_VARIANT:
    case VT_UNKNOWN:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

}  // namespace

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  const VARTYPE vt = pvarg->vt;
  if (!(vt & VT_BYREF)) {
    if (vt & VT_ARRAY) return DISP_E_BADVARTYPE;  // no arrays here
    if (!KnownBaseType(vt)) return DISP_E_BADVARTYPE;
    if (vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && pvarg->punkVal) {
      pvarg->punkVal->Release();
    }
  }
  std::memset(pvarg, 0, sizeof *pvarg);
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  const VARTYPE vt = pvargSrc->vt;
  if (!(vt & VT_BYREF) && ((vt & VT_ARRAY) || !KnownBaseType(vt))) return DISP_E_BADVARTYPE;
  VARIANT copy = *pvargSrc;
  if (vt == VT_BSTR && pvargSrc->bstrVal) {
    copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(pvargSrc->bstrVal),
                                         SysStringByteLen(pvargSrc->bstrVal));
    if (!copy.bstrVal) return E_OUTOFMEMORY;
  } else if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && pvargSrc->punkVal) {
    pvargSrc->punkVal->AddRef();
  }
  const HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *pvargDest = copy;
  return S_OK;
}

namespace {

// The source value in one of a few neutral forms. UInt holds only values above INT64_MAX.
struct Scalar {
  enum Kind { Empty, Null, Int, UInt, Real, Bool, Text, Object, Other } kind = Other;
  int64_t i = 0;
  uint64_t u = 0;
  double r = 0;
  bool b = false;
  std::u16string_view text;
  IUnknown* object = nullptr;
};

HRESULT ReadScalar(const VARIANT& v, Scalar& out) {
  const bool byref = (v.vt & VT_BYREF) != 0;
  const VARTYPE base = v.vt & VT_TYPEMASK;
  if (v.vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;
  if (byref && !v.byref) return E_INVALIDARG;
  switch (base) {
    case VT_EMPTY:
      out.kind = byref ? Scalar::Other : Scalar::Empty;
      return byref ? DISP_E_BADVARTYPE : S_OK;
    case VT_NULL:
      out.kind = Scalar::Null;
      return S_OK;
    case VT_I1:
      out.kind = Scalar::Int;
      out.i = byref ? *v.pcVal : v.cVal;
      return S_OK;
    case VT_UI1:
      out.kind = Scalar::Int;
      out.i = byref ? *v.pbVal : v.bVal;
      return S_OK;
    case VT_I2:
      out.kind = Scalar::Int;
      out.i = byref ? *v.piVal : v.iVal;
      return S_OK;
    case VT_UI2:
      out.kind = Scalar::Int;
      out.i = byref ? *v.puiVal : v.uiVal;
      return S_OK;
    case VT_I4:
    case VT_ERROR:
      out.kind = Scalar::Int;
      out.i = byref ? *v.plVal : v.lVal;
      return S_OK;
    case VT_INT:
      out.kind = Scalar::Int;
      out.i = byref ? *v.pintVal : v.intVal;
      return S_OK;
    case VT_UI4:
      out.kind = Scalar::Int;
      out.i = byref ? *v.pulVal : v.ulVal;
      return S_OK;
    case VT_UINT:
      out.kind = Scalar::Int;
      out.i = byref ? *v.puintVal : v.uintVal;
      return S_OK;
    case VT_I8:
      out.kind = Scalar::Int;
      out.i = byref ? *v.pllVal : v.llVal;
      return S_OK;
    case VT_UI8: {
      const uint64_t u = byref ? *reinterpret_cast<const ULONGLONG*>(v.byref) : v.ullVal;
      if (u > static_cast<uint64_t>(INT64_MAX)) {
        out.kind = Scalar::UInt;
        out.u = u;
      } else {
        out.kind = Scalar::Int;
        out.i = static_cast<int64_t>(u);
      }
      return S_OK;
    }
    case VT_R4:
      out.kind = Scalar::Real;
      out.r = byref ? *v.pfltVal : v.fltVal;
      return S_OK;
    case VT_R8:
    case VT_DATE:
      out.kind = Scalar::Real;
      out.r = byref ? *v.pdblVal : v.dblVal;
      return S_OK;
    case VT_BOOL:
      out.kind = Scalar::Bool;
      out.b = (byref ? *v.pboolVal : v.boolVal) != VARIANT_FALSE;
      return S_OK;
    case VT_BSTR: {
      out.kind = Scalar::Text;
      BSTR s = byref ? *v.pbstrVal : v.bstrVal;
      out.text = kirnow::com::BstrView(s);
      return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
      out.kind = Scalar::Object;
      out.object = byref ? *v.ppunkVal : v.punkVal;
      return S_OK;
    case VT_VARIANT:
      // One level of reference is followed, as oleaut32 does; a variant that refers to another
      // referring variant (or to itself) is refused.
      if (!byref) return DISP_E_BADVARTYPE;
      if (v.pvarVal->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
      return ReadScalar(*v.pvarVal, out);
    default:
      return DISP_E_BADVARTYPE;
  }
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

using kirnow::text::EqualsNoCase;

// The exponent of decimal text from its 'e' at t[i] on, a sign and at least one digit, appended
// to `ascii`; i moves past it. False without a digit.
bool ReadExponent(std::u16string_view t, size_t& i, std::string& ascii) {
  ascii.push_back('e');
  ++i;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) ascii.push_back(static_cast<char>(t[i++]));
  const size_t first = i;
  for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i) {
    ascii.push_back(static_cast<char>(t[i]));
  }
  return i != first;
}

// Parses decimal text: blanks around it, a sign, digits with an optional fraction, and an
// optional exponent ("1.5E+20", as reals are written as text). A whole number without a fraction
// or an exponent is kept exact (Int, or UInt above INT64_MAX); anything else is a Real. A number
// too large for a double answers DISP_E_OVERFLOW.
HRESULT ParseNumber(std::u16string_view t, Scalar& out) {
  size_t b = 0, e = t.size();
  while (b < e && IsSpace(t[b])) ++b;
  while (e > b && IsSpace(t[e - 1])) --e;
  t = t.substr(b, e - b);
  if (t.empty()) return DISP_E_TYPEMISMATCH;
  size_t i = 0;
  bool negative = false;
  if (t[i] == u'+' || t[i] == u'-') {
    negative = t[i] == u'-';
    ++i;
  }
  std::string ascii = negative ? "-" : "";
  bool digits = false, fraction = false, overflow = false;
  uint64_t magnitude = 0;
  for (; i < t.size(); ++i) {
    const char16_t c = t[i];
    if (c >= u'0' && c <= u'9') {
      digits = true;
      ascii.push_back(static_cast<char>(c));
      if (!fraction) {
        const uint64_t d = static_cast<uint64_t>(c - u'0');
        if (magnitude > (std::numeric_limits<uint64_t>::max() - d) / 10) overflow = true;
        magnitude = magnitude * 10 + d;
      }
    } else if (c == u'.' && !fraction) {
      fraction = true;
      ascii.push_back('.');
    } else {
      break;
    }
  }
  if (!digits) return DISP_E_TYPEMISMATCH;
  const bool exponent = i < t.size() && (t[i] == u'e' || t[i] == u'E');
  if (exponent && !ReadExponent(t, i, ascii)) return DISP_E_TYPEMISMATCH;
  if (i != t.size()) return DISP_E_TYPEMISMATCH;
  if (!fraction && !exponent && !overflow) {
    if (!negative && magnitude > static_cast<uint64_t>(INT64_MAX)) {
      out.kind = Scalar::UInt;
      out.u = magnitude;
      return S_OK;
    }
    if (magnitude <= static_cast<uint64_t>(INT64_MAX) + 1) {
      out.kind = Scalar::Int;
      out.i = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
      return S_OK;
    }
  }
  out.kind = Scalar::Real;
  out.r = std::strtod(ascii.c_str(), nullptr);
  if (!std::isfinite(out.r)) return DISP_E_OVERFLOW;
  return S_OK;
}

// Rounds half to even, as automation does.
HRESULT RealToInt(double r, int64_t& out) {
  if (!std::isfinite(r)) return DISP_E_OVERFLOW;
  const double rounded = std::nearbyint(r);
  if (rounded < -9.2233720368547758e18 || rounded >= 9.2233720368547758e18) {
    return DISP_E_OVERFLOW;
  }
  out = static_cast<int64_t>(rounded);
  return S_OK;
}

// The same for VT_UI8, whose range reaches 2^64 - 1.
HRESULT RealToUInt(double r, uint64_t& out) {
  if (!std::isfinite(r)) return DISP_E_OVERFLOW;
  const double rounded = std::nearbyint(r);
  if (rounded < 0 || rounded >= 1.8446744073709552e19) return DISP_E_OVERFLOW;
  out = static_cast<uint64_t>(rounded);
  return S_OK;
}

HRESULT ToInteger(const Scalar& s, int64_t& out) {
  switch (s.kind) {
    case Scalar::Empty:
      out = 0;
      return S_OK;
    case Scalar::Int:
      out = s.i;
      return S_OK;
    case Scalar::UInt:
      if (s.u > static_cast<uint64_t>(INT64_MAX)) return DISP_E_OVERFLOW;
      out = static_cast<int64_t>(s.u);
      return S_OK;
    case Scalar::Real:
      return RealToInt(s.r, out);
    case Scalar::Bool:
      out = s.b ? -1 : 0;
      return S_OK;
    case Scalar::Text: {
      if (EqualsNoCase(s.text, u"True")) {
        out = -1;
        return S_OK;
      }
      if (EqualsNoCase(s.text, u"False")) {
        out = 0;
        return S_OK;
      }
      Scalar n;
      const HRESULT hr = ParseNumber(s.text, n);
      if (FAILED(hr)) return hr;
      return ToInteger(n, out);
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToReal(const Scalar& s, double& out) {
  switch (s.kind) {
    case Scalar::Real:
      out = s.r;
      return S_OK;
    case Scalar::UInt:
      out = static_cast<double>(s.u);
      return S_OK;
    case Scalar::Text: {
      Scalar n;
      const HRESULT hr = ParseNumber(s.text, n);
      if (FAILED(hr)) return hr;
      return ToReal(n, out);
    }
    default: {
      int64_t i = 0;
      const HRESULT hr = ToInteger(s, i);
      if (FAILED(hr)) return hr;
      out = static_cast<double>(i);
      return S_OK;
    }
  }
}

HRESULT ToText(const Scalar& s, USHORT flags, std::u16string& out) {
  std::string ascii;
  switch (s.kind) {
    case Scalar::Empty:
      break;
    case Scalar::Text:
      out.assign(s.text);
      return S_OK;
    case Scalar::Bool:
      if (flags & VARIANT_ALPHABOOL) {
        ascii = s.b ? "True" : "False";
      } else {
        ascii = s.b ? "-1" : "0";
      }
      break;
    case Scalar::Int:
      ascii = std::to_string(s.i);
      break;
    case Scalar::UInt:
      ascii = std::to_string(s.u);
      break;
    case Scalar::Real: {
      // Zero has no sign in text, as oleaut32 writes it ("-0" would read back as an integer).
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.15G", s.r == 0 ? 0.0 : s.r);
      ascii = buf;
      break;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
  out.assign(ascii.begin(), ascii.end());
  return S_OK;
}

// VT_UI8: every other integer from 0 up, exact, and reals rounded.
HRESULT ToUInt(const Scalar& s, uint64_t& out) {
  switch (s.kind) {
    case Scalar::UInt:
      out = s.u;
      return S_OK;
    case Scalar::Real:
      return RealToUInt(s.r, out);
    case Scalar::Text: {
      Scalar n;
      const HRESULT hr = ParseNumber(s.text, n);
      if (FAILED(hr)) return hr;
      return ToUInt(n, out);  // a number, never text again
    }
    default: {
      int64_t i = 0;
      const HRESULT hr = ToInteger(s, i);
      if (FAILED(hr)) return hr;
      if (i < 0) return DISP_E_OVERFLOW;
      out = static_cast<uint64_t>(i);
      return S_OK;
    }
  }
}

// VT_BOOL: any value but zero is TRUE. Text is "True" or "False" in any case (also "#TRUE#" and
// "#FALSE#" as written), or else a number, zero or not, without rounding first ("0.4" is TRUE).
HRESULT ToBool(const Scalar& s, bool& out) {
  switch (s.kind) {
    case Scalar::Empty:
      out = false;
      return S_OK;
    case Scalar::Bool:
      out = s.b;
      return S_OK;
    case Scalar::Int:
      out = s.i != 0;
      return S_OK;
    case Scalar::UInt:
      out = true;  // UInt is above INT64_MAX
      return S_OK;
    case Scalar::Real:
      out = s.r != 0;
      return S_OK;
    case Scalar::Text: {
      if (EqualsNoCase(s.text, u"True") || s.text == u"#TRUE#") {
        out = true;
        return S_OK;
      }
      if (EqualsNoCase(s.text, u"False") || s.text == u"#FALSE#") {
        out = false;
        return S_OK;
      }
      Scalar n;
      const HRESULT hr = ParseNumber(s.text, n);
      if (FAILED(hr)) return hr;
      return ToBool(n, out);
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

template <typename T>
HRESULT Narrow(int64_t v, T& out) {
  if (v < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
      (v > 0 && static_cast<uint64_t>(v) > static_cast<uint64_t>(std::numeric_limits<T>::max()))) {
    return DISP_E_OVERFLOW;
  }
  out = static_cast<T>(v);
  return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
  if (!pvargDest || !pvarSrc) return E_INVALIDARG;
  if (vt & (VT_BYREF | VT_ARRAY)) return DISP_E_BADVARTYPE;
  if (vt == pvarSrc->vt) {
    if (pvargDest == pvarSrc) return S_OK;
    return VariantCopy(pvargDest, pvarSrc);
  }
  if (!KnownBaseType(vt) || vt == VT_VARIANT) return DISP_E_BADVARTYPE;

  Scalar s;
  HRESULT hr = ReadScalar(*pvarSrc, s);
  if (FAILED(hr)) return hr;

  VARIANT result;
  VariantInit(&result);
  result.vt = vt;
  if (s.kind == Scalar::Null) {
    if (vt != VT_NULL && vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
  } else if (s.kind == Scalar::Object) {
    // Reading an object's default value is not supported here.
    if (vt != VT_DISPATCH && vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    IUnknown* unk = s.object;
    if (vt == VT_UNKNOWN) {
      result.punkVal = unk;
      if (unk) unk->AddRef();
    } else if (unk) {
      hr = unk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&result.pdispVal));
      if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    }
  } else {
    int64_t i = 0;
    switch (vt) {
      case VT_EMPTY:
        break;
      case VT_NULL:
        return DISP_E_TYPEMISMATCH;
      case VT_I1:
        if (FAILED(hr = ToInteger(s, i)) || FAILED(hr = Narrow(i, result.cVal))) return hr;
        break;
      case VT_UI1:
        if (FAILED(hr = ToInteger(s, i)) || FAILED(hr = Narrow(i, result.bVal))) return hr;
        break;
      case VT_I2:
        if (FAILED(hr = ToInteger(s, i)) || FAILED(hr = Narrow(i, result.iVal))) return hr;
        break;
      case VT_UI2:
        if (FAILED(hr = ToInteger(s, i)) || FAILED(hr = Narrow(i, result.uiVal))) return hr;
        break;
      case VT_I4:
      case VT_ERROR:
        if (FAILED(hr = ToInteger(s, i)) || FAILED(hr = Narrow(i, result.lVal))) return hr;
        break;
      case VT_INT:
        if (FAILED(hr = ToInteger(s, i)) || FAILED(hr = Narrow(i, result.intVal))) return hr;
        break;
      case VT_UI4:
        if (FAILED(hr = ToInteger(s, i)) || FAILED(hr = Narrow(i, result.ulVal))) return hr;
        break;
      case VT_UINT:
        if (FAILED(hr = ToInteger(s, i)) || FAILED(hr = Narrow(i, result.uintVal))) return hr;
        break;
      case VT_I8:
        if (FAILED(hr = ToInteger(s, i))) return hr;
        result.llVal = i;
        break;
      case VT_UI8:
        if (FAILED(hr = ToUInt(s, result.ullVal))) return hr;
        break;
      case VT_R4: {
        double r = 0;
        if (FAILED(hr = ToReal(s, r))) return hr;
        if (std::fabs(r) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
        result.fltVal = static_cast<float>(r);
        break;
      }
      case VT_R8:
      case VT_DATE:
        if (FAILED(hr = ToReal(s, result.dblVal))) return hr;
        break;
      case VT_BOOL: {
        bool b = false;
        if (FAILED(hr = ToBool(s, b))) return hr;
        result.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      }
      case VT_BSTR: {
        std::u16string text;
        if (FAILED(hr = ToText(s, wFlags, text))) return hr;
        result.bstrVal = kirnow::com::AllocBstr(text);
        if (!result.bstrVal) return E_OUTOFMEMORY;
        break;
      }
      default:
        return DISP_E_TYPEMISMATCH;
    }
  }
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *pvargDest = result;
  return S_OK;
}

// ---- Interface identifiers (the values Windows gives them) ------------------------------------

extern "C" {
const IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnectionPoints = {
    0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnections = {
    0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
}
