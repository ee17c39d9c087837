// Hexadecimal pair decoding for DisplayText (binary conversion 1) and DefineGlyph.
#include "serviceobject/display/hex_pairs.h"

namespace kirnow::display {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

namespace {

// The character at i, or the terminating zero past the end.
char At(std::string_view text, size_t i) { return i < text.size() ? text[i] : '\0'; }

}  // namespace

std::string DecodeTextPairs(std::string_view text) {
  // The text ends at its first zero byte, as the converted string does.
  const size_t end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    const char first = text[i];
    if (first == '\n') {
      out.push_back('\n');
      continue;
    }
    const int value = HexDigitValue(first) * 16 + HexDigitValue(At(text, i + 1));
    if (value == 0) break;  // a 00 pair ends the output text
    out.push_back(static_cast<char>(value));
  }
  return out;
}

std::string DecodeGlyphPairs(std::string_view text) {
  const size_t end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    out.push_back(static_cast<char>(HexDigitValue(text[i]) * 16 + HexDigitValue(At(text, i + 1))));
  }
  return out;
}

}  // namespace kirnow::display
