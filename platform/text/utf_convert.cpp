// UTF-8 <-> UTF-16 conversion, the one implementation for the whole product.
#include "platform/text/utf_convert.h"

#include <cstdint>

namespace kirnow::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `i`; returns false on a malformed sequence (and skips one byte).
bool DecodeUtf8(std::string_view s, size_t& i, char32_t& out) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  if (b0 < 0x80) {
    out = b0;
    ++i;
    return true;
  }
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    ++i;
    return false;
  }
  if (i + static_cast<size_t>(extra) >= s.size()) {
    ++i;
    return false;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<uint8_t>(s[i + static_cast<size_t>(k)]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += static_cast<size_t>(extra) + 1;
  out = cp;
  return true;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one code point of UTF-16 at `i`; false for a lone surrogate (skipped).
bool DecodeUtf16(std::u16string_view s, size_t& i, char32_t& out) {
  const char16_t c = s[i++];
  if (c < 0xD800 || c > 0xDFFF) {
    out = c;
    return true;
  }
  if (c <= 0xDBFF && i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
    out = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i] - 0xDC00);
    ++i;
    return true;
  }
  return false;
}

}  // namespace

std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    if (!DecodeUtf8(text, i, cp)) return std::nullopt;
    AppendUtf16(out, cp);
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text, size_t maxCharacters) {
  std::u16string out;
  out.reserve(text.size());
  size_t characters = 0;
  for (size_t i = 0; i < text.size() && characters < maxCharacters; ++characters) {
    char32_t cp = 0;
    if (!DecodeUtf8(text, i, cp)) cp = kReplacement;
    AppendUtf16(out, cp);
  }
  return out;
}

std::optional<std::string> Utf16ToUtf8Strict(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    if (!DecodeUtf16(text, i, cp)) return std::nullopt;
    AppendUtf8(out, cp);
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    if (!DecodeUtf16(text, i, cp)) cp = kReplacement;
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace kirnow::platform
