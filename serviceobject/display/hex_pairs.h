// Hexadecimal pairs: text such as "414243" read as the bytes 41 42 43.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kirnow::display {

// The value of one hexadecimal digit; any other character counts 0.
int HexDigitValue(char c);

// Decodes `text` pair by pair from its start; an odd last character pairs with the terminating
// zero (it counts as digit x 16). A pair whose first character is a line feed yields 0A and its
// second character is dropped. The result ends at the first pair that decodes to 00.
std::string DecodeTextPairs(std::string_view text);

// Decodes `text` pair by pair as a glyph definition: no line-feed exception, and a pair that
// decodes to 00 is kept like any other byte.
std::string DecodeGlyphPairs(std::string_view text);

}  // namespace kirnow::display
