// The COM compat layer: BSTR layout and ownership, VARIANT ownership and conversions, GUID text.
#include "platform/com/com_types.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/fakes/counted_dispatch.h"

namespace {

using kirnow::com::AllocBstr;
using kirnow::com::BstrView;

TEST(Bstr, LengthPrefixTerminatorAndEmbeddedZeros) {
  const char16_t text[] = u"ab\0cd";
  BSTR s = SysAllocStringLen(text, 5);
  ASSERT_NE(s, nullptr);
  uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 10u);  // bytes, terminator not counted
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(SysStringByteLen(s), 10u);
  EXPECT_EQ(s[5], 0);
  EXPECT_EQ(BstrView(s), std::u16string_view(text, 5));
  SysFreeString(s);

  // SysAllocString stops at the first zero; a null source gives a null BSTR, which is empty.
  s = SysAllocString(text);
  EXPECT_EQ(SysStringLen(s), 2u);
  SysFreeString(s);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);

  // A length without a source gives zeroed characters; an odd byte length is still terminated.
  s = SysAllocStringLen(nullptr, 3);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(s[0] | s[1] | s[2] | s[3], 0);
  SysFreeString(s);
  s = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(s), 3u);
  EXPECT_EQ(SysStringLen(s), 1u);
  EXPECT_EQ(reinterpret_cast<const char*>(s)[3], 0);
  EXPECT_EQ(reinterpret_cast<const char*>(s)[4], 0);
  SysFreeString(s);

  BSTR r = SysAllocString(u"old");
  EXPECT_TRUE(SysReAllocString(&r, u"newer"));
  EXPECT_EQ(BstrView(r), u"newer");
  SysFreeString(r);
}

// Counts references so that ownership through VARIANTs can be checked.
struct CountedUnknown : IUnknown {
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch)) {
      *ppv = this;
      ++refs;
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(Variant, ClearAndCopyOwnStringsAndReferences) {
  VARIANT a, b;
  VariantInit(&a);
  VariantInit(&b);
  a.vt = VT_BSTR;
  a.bstrVal = AllocBstr(u"text");
  ASSERT_EQ(VariantCopy(&b, &a), S_OK);
  EXPECT_NE(a.bstrVal, b.bstrVal);  // a deep copy
  EXPECT_EQ(BstrView(b.bstrVal), u"text");
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(a.vt, VT_EMPTY);
  EXPECT_EQ(BstrView(b.bstrVal), u"text");  // the copy outlives the original

  CountedUnknown unk;
  VARIANT c;
  VariantInit(&c);
  c.vt = VT_UNKNOWN;
  c.punkVal = &unk;
  ASSERT_EQ(VariantCopy(&b, &c), S_OK);  // clears the BSTR in b first
  EXPECT_EQ(unk.refs, 2u);
  VariantClear(&b);
  EXPECT_EQ(unk.refs, 1u);

  // A by-reference variant owns nothing: clearing it leaves the target alone.
  BSTR owned = AllocBstr(u"keep");
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &owned;
  VariantClear(&ref);
  EXPECT_EQ(BstrView(owned), u"keep");
  SysFreeString(owned);

  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

TEST(Variant, ChangeTypeBetweenIntegersBooleansAndText) {
  VARIANT v, out;
  VariantInit(&v);
  VariantInit(&out);

  v.vt = VT_I2;
  v.iVal = -7;
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, -7);
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out.bstrVal), u"-7");

  v.vt = VT_BOOL;
  v.boolVal = VARIANT_TRUE;
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, -1);
  ASSERT_EQ(VariantChangeType(&out, &v, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out.bstrVal), u"True");

  VARIANT s;
  VariantInit(&s);
  s.vt = VT_BSTR;
  s.bstrVal = AllocBstr(u"  5012 ");
  ASSERT_EQ(VariantChangeType(&out, &s, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 5012);
  ASSERT_EQ(VariantChangeType(&out, &s, 0, VT_BOOL), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  SysFreeString(s.bstrVal);

  // Failures leave the destination as it was.
  out.vt = VT_I4;
  out.lVal = 99;
  s.bstrVal = AllocBstr(u"12ab");
  EXPECT_EQ(VariantChangeType(&out, &s, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(out.lVal, 99);
  SysFreeString(s.bstrVal);
  s.bstrVal = AllocBstr(u"4294967296");
  EXPECT_EQ(VariantChangeType(&out, &s, 0, VT_I4), DISP_E_OVERFLOW);
  SysFreeString(s.bstrVal);
  v.vt = VT_I4;
  v.lVal = 40000;
  EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_I2), DISP_E_OVERFLOW);
  EXPECT_EQ(out.lVal, 99);

  // Reals round half to even; an empty variant is zero or the empty string.
  v.vt = VT_R8;
  v.dblVal = 2.5;
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 2);
  v.vt = VT_EMPTY;
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 0);
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_BSTR), S_OK);
  EXPECT_NE(out.bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(out.bstrVal), 0u);

  // A by-reference source is read through its pointer; converting in place works.
  LONG target = 1005103;
  v.vt = VT_I4 | VT_BYREF;
  v.plVal = &target;
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out.bstrVal), u"1005103");
  ASSERT_EQ(VariantChangeType(&out, &out, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 1005103);

  v.vt = VT_NULL;
  EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
  VariantClear(&out);
}

// Text converted as Windows' oleaut32 converts it.
TEST(Variant, ChangeTypeFromTextAsAutomationReadsIt) {
  struct Case {
    const char16_t* text;
    VARTYPE to;
    HRESULT hr;
    double value;  // the result as a number (TRUE is -1)
  };
  const Case cases[] = {
      // Reals are written as text with an exponent, and read back the same way.
      {u"1E+20", VT_R8, S_OK, 1e20},
      {u" -2.5e-3 ", VT_R8, S_OK, -2.5e-3},
      {u"1E3", VT_I4, S_OK, 1000},
      {u"1E", VT_R8, DISP_E_TYPEMISMATCH, 0},
      {u"1E+400", VT_R8, DISP_E_OVERFLOW, 0},
      // VT_UI8 reaches 2^64 - 1.
      {u"18446744073709551615", VT_UI8, S_OK, 18446744073709551615.0},
      {u"9223372036854775808", VT_UI8, S_OK, 9223372036854775808.0},
      {u"18446744073709551616", VT_UI8, DISP_E_OVERFLOW, 0},
      {u"-1", VT_UI8, DISP_E_OVERFLOW, 0},
      {u"9223372036854775808", VT_I8, DISP_E_OVERFLOW, 0},
      {u"-9223372036854775808", VT_I8, S_OK, -9223372036854775808.0},
      // Text to VT_BOOL is True/False or a number that is zero or not: nothing is rounded.
      {u"0.4", VT_BOOL, S_OK, -1},
      {u"-0.0", VT_BOOL, S_OK, 0},
      {u"fALSE", VT_BOOL, S_OK, 0},
      {u"#TRUE#", VT_BOOL, S_OK, -1},
      {u"1e-300", VT_BOOL, S_OK, -1},
      {u"yes", VT_BOOL, DISP_E_TYPEMISMATCH, 0},
  };
  for (const Case& c : cases) {
    VARIANT s, out;
    VariantInit(&s);
    VariantInit(&out);
    s.vt = VT_BSTR;
    s.bstrVal = SysAllocString(c.text);
    EXPECT_EQ(VariantChangeType(&out, &s, 0, c.to), c.hr) << kirnow::com::Utf16ToUtf8(c.text);
    if (c.hr == S_OK) {
      double got = 0;
      switch (c.to) {
        case VT_R8:
          got = out.dblVal;
          break;
        case VT_I4:
          got = out.lVal;
          break;
        case VT_I8:
          got = static_cast<double>(out.llVal);
          break;
        case VT_UI8:
          got = static_cast<double>(out.ullVal);
          break;
        case VT_BOOL:
          got = out.boolVal;
          break;
        default:
          break;
      }
      EXPECT_EQ(got, c.value) << kirnow::com::Utf16ToUtf8(c.text);
    }
    VariantClear(&out);
    VariantClear(&s);
  }

  // A real and the largest VT_UI8 go to text and come back unchanged.
  VARIANT v, text, back;
  VariantInit(&v);
  VariantInit(&text);
  VariantInit(&back);
  v.vt = VT_R8;
  v.dblVal = 1e20;
  ASSERT_EQ(VariantChangeType(&text, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(text.bstrVal), u"1E+20");
  ASSERT_EQ(VariantChangeType(&back, &text, 0, VT_R8), S_OK);
  EXPECT_EQ(back.dblVal, 1e20);
  v.dblVal = -0.0;  // zero has no sign in text
  ASSERT_EQ(VariantChangeType(&text, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(text.bstrVal), u"0");
  v.vt = VT_UI8;
  v.ullVal = UINT64_MAX;
  ASSERT_EQ(VariantChangeType(&text, &v, 0, VT_BSTR), S_OK);
  ASSERT_EQ(VariantChangeType(&back, &text, 0, VT_UI8), S_OK);
  EXPECT_EQ(back.ullVal, UINT64_MAX);
  ASSERT_EQ(VariantChangeType(&back, &v, 0, VT_BOOL), S_OK);
  EXPECT_EQ(back.boolVal, VARIANT_TRUE);
  v.vt = VT_R8;
  v.dblVal = 1.5e19;
  ASSERT_EQ(VariantChangeType(&back, &v, 0, VT_UI8), S_OK);
  EXPECT_EQ(back.ullVal, 15000000000000000000ull);
  VariantClear(&text);
}

TEST(Variant, AReferencedVariantIsFollowedOneLevel) {
  kirnow::fakes::CountedDispatch unk;
  VARIANT object, ref, twice, out;
  VariantInit(&object);
  VariantInit(&out);
  object.vt = VT_DISPATCH;
  object.pdispVal = &unk;
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &object;
  twice.vt = VT_BYREF | VT_VARIANT;
  twice.pvarVal = &ref;

  // The object inside a referenced variant is the object itself, with a reference of its own.
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(out.punkVal, static_cast<IUnknown*>(&unk));
  EXPECT_EQ(unk.refs, 2u);
  VariantClear(&out);
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_DISPATCH), S_OK);
  EXPECT_EQ(out.pdispVal, &unk);
  VariantClear(&out);
  EXPECT_EQ(unk.refs, 1u);

  // A reference to a reference is refused, as oleaut32 refuses it, and so is one to itself.
  EXPECT_EQ(VariantChangeType(&out, &twice, 0, VT_DISPATCH), E_INVALIDARG);
  EXPECT_EQ(VariantChangeType(&out, &twice, 0, VT_UNKNOWN), E_INVALIDARG);
  VARIANT self;
  self.vt = VT_BYREF | VT_VARIANT;
  self.pvarVal = &self;
  EXPECT_EQ(VariantChangeType(&out, &self, 0, VT_I4), E_INVALIDARG);
  EXPECT_EQ(out.vt, VT_EMPTY);
  EXPECT_EQ(unk.refs, 1u);
}

TEST(Guid, TextRoundTripAndWindowsIdentifiers) {
  const GUID g = {0x7D3C2A41, 0x5B8E, 0x4F2A, {0x9C, 0x61, 0x2E, 0x4B, 0x8D, 0x1A, 0x6F, 0x30}};
  EXPECT_EQ(kirnow::com::GuidToString(g), "{7D3C2A41-5B8E-4F2A-9C61-2E4B8D1A6F30}");
  auto back = kirnow::com::GuidFromString("{7d3c2a41-5b8e-4f2a-9c61-2e4b8d1a6f30}");
  ASSERT_TRUE(back);
  EXPECT_TRUE(IsEqualGUID(*back, g));
  EXPECT_FALSE(kirnow::com::GuidFromString("7D3C2A41-5B8E-4F2A-9C61-2E4B8D1A6F30"));
  EXPECT_FALSE(kirnow::com::GuidFromString("{7D3C2A41-5B8E-4F2A-9C61-2E4B8D1A6F3G}"));

  OLECHAR buf[39];
  EXPECT_EQ(StringFromGUID2(IID_IDispatch, buf, 39), 39);
  EXPECT_EQ(std::u16string_view(buf), u"{00020400-0000-0000-C000-000000000046}");
  EXPECT_EQ(StringFromGUID2(IID_IDispatch, buf, 38), 0);
  CLSID parsed;
  EXPECT_EQ(CLSIDFromString(buf, &parsed), S_OK);
  EXPECT_TRUE(IsEqualGUID(parsed, IID_IDispatch));
  EXPECT_EQ(CLSIDFromString(u"JQ.POSLDisplay.1", &parsed), CO_E_CLASSSTRING);
  EXPECT_EQ(kirnow::com::GuidToString(IID_IConnectionPointContainer),
            "{B196B284-BAB4-101A-B69C-00AA00341D07}");

  // The layouts callers across a module boundary rely on.
  static_assert(sizeof(GUID) == 16);
  static_assert(offsetof(VARIANT, lVal) == 8);
  static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*));
  static_assert(sizeof(VARIANT_BOOL) == 2 && sizeof(LONG) == 4 && sizeof(HRESULT) == 4);
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

}  // namespace
