// Case-insensitive comparison of ASCII names, as automation names, registry keys and the words
// of scripts compare: only A-Z and a-z fold; any other character must be equal.
#pragma once

#include <string_view>
#include <type_traits>

namespace kirnow::text {

constexpr char32_t FoldAscii(char32_t c) { return c >= U'A' && c <= U'Z' ? c + 32 : c; }

// Works for any pair of narrow and UTF-16 views; narrow bytes compare as their code units.
template <typename A, typename B>
constexpr bool EqualsNoCase(std::basic_string_view<A> a, std::basic_string_view<B> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    using UA = std::make_unsigned_t<A>;
    using UB = std::make_unsigned_t<B>;
    if (FoldAscii(static_cast<UA>(a[i])) != FoldAscii(static_cast<UB>(b[i]))) return false;
  }
  return true;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  return EqualsNoCase<char, char>(a, b);
}
constexpr bool EqualsNoCase(std::string_view a, std::u16string_view b) {
  return EqualsNoCase<char, char16_t>(a, b);
}
constexpr bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  return EqualsNoCase<char16_t, char16_t>(a, b);
}

}  // namespace kirnow::text
