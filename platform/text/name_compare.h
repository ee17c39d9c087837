// Case-insensitive comparison of ASCII names, as automation names, registry keys and the words
// of scripts compare: only A-Z and a-z fold; any other character must be equal. This is the one
// case fold of the project; every comparison, ordering or folded copy of a name goes through it.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace kirnow::text {

// Folds a-z to A-Z. Upper case, because the registry orders names by their upper-case form
// (Windows enumerates "A_B" after "AB", as '_' sorts after the capitals); for equality either
// direction would do.
constexpr char32_t FoldAscii(char32_t c) { return c >= U'a' && c <= U'z' ? c - 32 : c; }

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

// <0, 0 or >0: the order of two names as the registry sorts them (folded, then byte by byte as
// unsigned values, a shorter name first when it is the other's beginning).
constexpr int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const char32_t ca = FoldAscii(static_cast<unsigned char>(a[i]));
    const char32_t cb = FoldAscii(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// The name with every letter folded: two names compare equal exactly when their folded copies
// are equal, so the copy can key a set or a map; compared as plain strings (bytes as unsigned
// values), the copies sort as CompareNoCase sorts the names.
inline std::string FoldedAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
  return out;
}

// The name with A-Z written as a-z, for names that are written in lower case (a USB vendor id
// in a registry key's name).
inline std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace kirnow::text
