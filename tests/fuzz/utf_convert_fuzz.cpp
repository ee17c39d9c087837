// Fuzz target: the UTF-8 <-> UTF-16 conversions. The input is read both as UTF-8 and as
// UTF-16LE. A strict conversion that succeeds converts back to the very input; a lenient one
// always gives well-formed text, equal to the strict result wherever that exists; a character
// limit cuts the lenient result at a character boundary.
#include <string>

#include "platform/text/utf_convert.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kirnow::platform;

namespace {

size_t CodePoints(std::u16string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const bool trail =
        s[i] >= 0xDC00 && s[i] <= 0xDFFF && i > 0 && s[i - 1] >= 0xD800 && s[i - 1] <= 0xDBFF;
    if (!trail) ++n;
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view utf8(reinterpret_cast<const char*>(data), size);

  const auto strict16 = Utf8ToUtf16Strict(utf8);
  const std::u16string lenient16 = Utf8ToUtf16(utf8);
  FUZZ_CHECK(Utf16ToUtf8Strict(lenient16).has_value());
  if (strict16) {
    FUZZ_CHECK(*strict16 == lenient16);
    FUZZ_CHECK(Utf16ToUtf8Strict(*strict16) == std::string(utf8));
  }
  if (size > 0) {
    const size_t limit = data[0] % 8;
    const std::u16string cut = Utf8ToUtf16(utf8, limit);
    FUZZ_CHECK(CodePoints(cut) <= limit);
    FUZZ_CHECK(lenient16.compare(0, cut.size(), cut) == 0);
    FUZZ_CHECK(cut.size() == lenient16.size() || CodePoints(cut) == limit);
  }

  std::u16string utf16;
  for (size_t i = 0; i + 1 < size; i += 2) {
    utf16.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  const auto strict8 = Utf16ToUtf8Strict(utf16);
  const std::string lenient8 = Utf16ToUtf8(utf16);
  FUZZ_CHECK(Utf8ToUtf16Strict(lenient8).has_value());
  if (strict8) {
    FUZZ_CHECK(*strict8 == lenient8);
    FUZZ_CHECK(Utf8ToUtf16Strict(*strict8) == utf16);
  }
  return 0;
}
