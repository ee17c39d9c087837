// RegValue helpers: building and reading string and DWORD values in Windows' own data layout.
#include "platform/registry/registry.h"
#include "platform/text/utf_convert.h"

namespace kirnow::platform {

RegValue RegValue::FromString(std::string name, const std::string& utf8) {
  RegValue v;
  v.name = std::move(name);
  v.type = RegType::String;
  const std::u16string wide = Utf8ToUtf16(utf8);
  v.data.reserve((wide.size() + 1) * 2);
  for (char16_t c : wide) {
    v.data.push_back(static_cast<uint8_t>(c & 0xFF));
    v.data.push_back(static_cast<uint8_t>(c >> 8));
  }
  v.data.push_back(0);
  v.data.push_back(0);
  return v;
}

RegValue RegValue::FromDword(std::string name, uint32_t value) {
  RegValue v;
  v.name = std::move(name);
  v.type = RegType::Dword;
  for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return v;
}

std::optional<std::string> RegValue::AsString() const {
  if (type != RegType::String && type != RegType::ExpandString) return std::nullopt;
  std::u16string wide;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    wide.push_back(c);
  }
  return Utf16ToUtf8(wide);
}

std::optional<uint32_t> RegValue::AsDword() const {
  if (type != RegType::Dword || data.size() < 4) return std::nullopt;
  return static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
         (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
}

}  // namespace kirnow::platform
