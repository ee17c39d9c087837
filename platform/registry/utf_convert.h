// UTF-8 <-> UTF-16 conversion for names and string data that cross the registry and ANSI seams.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kirnow::platform {

// Strict conversions: nullopt on malformed input (bad UTF-8 sequence, lone surrogate).
std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view text);
std::optional<std::string> Utf16ToUtf8Strict(std::u16string_view text);

// Lenient conversions: malformed input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace kirnow::platform
