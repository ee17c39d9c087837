// The ANSI code page conversion on Linux: the display's euro and pound signs, characters the
// code page lacks, and the byte limit of the multibyte conversion.
#include "platform/ansi/ansi_codec.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace kirnow::platform {
namespace {

// Builds the codec with KIRNOW_CODEPAGE set to `codePage` (unset when null).
std::unique_ptr<AnsiCodec> CodecFor(const char* codePage) {
  const char* saved = getenv("KIRNOW_CODEPAGE");
  const std::string keep = saved != nullptr ? saved : "";
  if (codePage != nullptr) {
    setenv("KIRNOW_CODEPAGE", codePage, 1);
  } else {
    unsetenv("KIRNOW_CODEPAGE");
  }
  auto codec = MakeSystemAnsiCodec();
  if (saved != nullptr) {
    setenv("KIRNOW_CODEPAGE", keep.c_str(), 1);
  } else {
    unsetenv("KIRNOW_CODEPAGE");
  }
  return codec;
}

TEST(AnsiCodec, DefaultsToWindows1252) {
  auto codec = CodecFor(nullptr);
  EXPECT_EQ(codec->ToAnsi(u"\u20AC5 \u00A3"),
            "\x80"
            "5 \xA3");
  // What the code page lacks becomes '?', one per character (a surrogate pair is one).
  EXPECT_EQ(codec->ToAnsi(u"a\u4E2Db\U0001F600c\xD800"), "a?b?c?");
  EXPECT_EQ(codec->FromAnsi("\x80\xA3"
                            "A"),
            u"\u20AC\u00A3A");
  EXPECT_EQ(codec->ToAnsi(std::u16string_view(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(AnsiCodec, WideToMultibyteFailsOnUnconvertibleAndKeepsToTheLimit) {
  auto codec = CodecFor("WINDOWS-1252");
  EXPECT_EQ(codec->WideToMultibyte(u"\u20AC10", 10),
            "\x80"
            "10");
  EXPECT_EQ(codec->WideToMultibyte(u"abcdef", 3), "abc");
  EXPECT_EQ(codec->WideToMultibyte(std::u16string_view(u"ab\0cd", 5), 10), "ab");
  EXPECT_EQ(codec->WideToMultibyte(u"ab\u4E2D", 10), std::nullopt);

  // In a multibyte code page a character that does not fit whole is left out.
  auto utf8 = CodecFor("UTF-8");
  EXPECT_EQ(utf8->WideToMultibyte(u"a\u20AC", 3), "a");
  EXPECT_EQ(utf8->WideToMultibyte(u"a\u20AC", 4), "a\xE2\x82\xAC");
}

TEST(AnsiCodec, UnknownCodePageFallsBackToWindows1252) {
  auto codec = CodecFor("NO-SUCH-CODEPAGE");
  EXPECT_EQ(codec->ToAnsi(u"\u20AC"), "\x80");
}

}  // namespace
}  // namespace kirnow::platform
