// UTF-8 <-> UTF-16 conversion: registry names and data, BSTRs, the dialog's texts, messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kirnow::platform {

// Strict conversions: nullopt on malformed input (bad UTF-8 sequence, lone surrogate).
std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view text);
std::optional<std::string> Utf16ToUtf8Strict(std::u16string_view text);

// Lenient conversions: malformed input becomes U+FFFD. Utf8ToUtf16 keeps at most
// `maxCharacters` code points.
std::u16string Utf8ToUtf16(std::string_view text, size_t maxCharacters = SIZE_MAX);
std::string Utf16ToUtf8(std::u16string_view text);

#ifdef _WIN32
// The same for Windows' wide strings (UTF-16 in wchar_t).
inline std::wstring WideFromUtf8(std::string_view text) {
  const std::u16string w = Utf8ToUtf16(text);
  return std::wstring(w.begin(), w.end());
}
inline std::string Utf8FromWide(std::wstring_view text) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}
#endif

}  // namespace kirnow::platform
