// The COM helpers of every platform: GUID text, UTF-8/UTF-16 and BSTR and VARIANT shorthands
// (see com_types.h).
#include <cstdint>
#include <cstdio>
#include <limits>

#include "platform/com/com_types.h"
#include "platform/text/utf_convert.h"

namespace kirnow::com {

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), static_cast<unsigned>(g.Data2),
                static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `count` hexadecimal digits at `pos`.
bool ReadHex(std::string_view t, size_t pos, size_t count, uint64_t& out) {
  out = 0;
  for (size_t i = 0; i < count; ++i) {
    const int d = HexDigit(t[pos + i]);
    if (d < 0) return false;
    out = out * 16 + static_cast<uint64_t>(d);
  }
  return true;
}

}  // namespace

std::optional<GUID> GuidFromString(std::string_view t) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' || t[14] != '-' ||
      t[19] != '-' || t[24] != '-') {
    return std::nullopt;
  }
  GUID g{};
  uint64_t v = 0;
  if (!ReadHex(t, 1, 8, v)) return std::nullopt;
  g.Data1 = static_cast<uint32_t>(v);
  if (!ReadHex(t, 10, 4, v)) return std::nullopt;
  g.Data2 = static_cast<uint16_t>(v);
  if (!ReadHex(t, 15, 4, v)) return std::nullopt;
  g.Data3 = static_cast<uint16_t>(v);
  static constexpr size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    if (!ReadHex(t, kBytePos[i], 2, v)) return std::nullopt;
    g.Data4[i] = static_cast<uint8_t>(v);
  }
  return g;
}

std::u16string Utf8ToUtf16(std::string_view utf8) { return platform::Utf8ToUtf16(utf8); }

std::string Utf16ToUtf8(std::u16string_view utf16) { return platform::Utf16ToUtf8(utf16); }

BSTR AllocBstr(std::u16string_view text) {
  if (text.size() > std::numeric_limits<UINT>::max() / 4) return nullptr;
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

BSTR AllocBstrUtf8(std::string_view utf8) { return AllocBstr(Utf8ToUtf16(utf8)); }

std::u16string_view BstrView(BSTR bstr) {
  if (!bstr) return {};
  return {reinterpret_cast<const char16_t*>(bstr), SysStringLen(bstr)};
}

VARIANT LongArg(LONG v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I4;
  x.lVal = v;
  return x;
}

VARIANT BstrArg(BSTR s) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BSTR;
  x.bstrVal = s;
  return x;
}

}  // namespace kirnow::com
