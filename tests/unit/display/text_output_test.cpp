// Text output without workers: the bytes of DisplayText and DisplayTextAt, the attribute
// commands, hexadecimal pairs, the inter-character wait, both cursor rules and the limits of the
// buffers.
#include "serviceobject/display/hex_pairs.h"
#include "tests/unit/display/display_fixture.h"

namespace kirnow::testing {
namespace {

class TextOutput : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    CreateLineWindows();
    Select(1);
  }
};

TEST_F(TextOutput, DisplayTextSendsTheTextAndMovesTheCursorAfterIt) {
  module->list[1].CursorRow = 1;
  module->list[1].CursorColumn = 1;
  so->DisplayText(u"abc", DISP_DT_NORMAL);
  EXPECT_EQ(fp.serial.Written(), Text("abc"));
  EXPECT_EQ(module->list[1].CursorColumn, 4);
  EXPECT_EQ(module->list[1].CursorRow, 1);
  EXPECT_EQ(Line1(), "abc");

  // End position 40 leaves remainder 0: the column is the width, the row stays.
  module->list[1].CursorColumn = 1;
  so->DisplayText(u"0123456789012345678", DISP_DT_NORMAL);
  EXPECT_EQ(module->list[1].CursorColumn, 20);
  EXPECT_EQ(module->list[1].CursorRow, 1);

  // End position equal to height x width puts the cursor on the last row.
  module->list[1].WindowHeight = 2;
  module->list[1].CursorRow = 0;
  module->list[1].CursorColumn = 20;
  so->DisplayText(u"01234567890123456789", DISP_DT_NORMAL);  // 0 x 20 + 20 + 20 = 40
  EXPECT_EQ(module->list[1].CursorColumn, 20);
  EXPECT_EQ(module->list[1].CursorRow, 1);
}

TEST_F(TextOutput, TextOfTheLowerWindowGoesToTheSecondLineBuffer) {
  Select(2);
  so->DisplayText(u"low", DISP_DT_NORMAL);
  EXPECT_EQ(Line2(), "low");
  EXPECT_EQ(Line1(), "");
}

TEST_F(TextOutput, AttributesSendTheirCommandsBeforeTheText) {
  so->DisplayText(u"a", DISP_DT_REVERSE);
  EXPECT_EQ(fp.serial.Written(), Cat({B({0x1F, 0x45, 0x00, 0x1F, 0x72, 0x01}), Text("a")}));
  fp.serial.ClearWritten();
  so->BlinkRate = 0x105;  // the low byte is sent
  so->DisplayText(u"b", DISP_DT_BLINK_REVERSE);
  EXPECT_EQ(fp.serial.Written(), Cat({B({0x1F, 0x45, 0x05, 0x1F, 0x72, 0x01}), Text("b")}));
  fp.serial.ClearWritten();
  so->DisplayText(u"c", DISP_DT_BLINK);
  EXPECT_EQ(fp.serial.Written(), Text("c"));
}

TEST_F(TextOutput, BinaryConversionDecodesHexPairs) {
  so->BinaryConversion = 1;
  const std::vector<std::pair<std::u16string, Bytes>> cases = {
      {u"414243", Text("ABC")},
      {u"4a", B({0x4A})},
      {u"41424", B({0x41, 0x42, 0x40})},
      {u"41004243", B({0x41})},  // a 00 pair ends the text
      {u"4G", B({0x40})},
      {u"\n9", B({0x0A})},  // line feed passes, its partner is dropped
      {u"41\nx42", B({0x41, 0x0A, 0x42})},
  };
  for (const auto& [input, expected] : cases) {
    fp.serial.ClearWritten();
    so->DisplayText(input, DISP_DT_NORMAL);
    EXPECT_EQ(fp.serial.Written(), expected);
  }
  // Other conversions send the attribute commands only, and still move the cursor.
  so->BinaryConversion = 2;
  fp.serial.ClearWritten();
  module->list[1].CursorColumn = 1;
  so->DisplayText(u"414243", DISP_DT_REVERSE);
  EXPECT_EQ(fp.serial.Written(), B({0x1F, 0x45, 0x00, 0x1F, 0x72, 0x01}));
  EXPECT_EQ(module->list[1].CursorColumn, 7);
}

TEST_F(TextOutput, GlyphPairsKeepZeroBytesAndHaveNoLineFeedException) {
  EXPECT_EQ(display::DecodeGlyphPairs("05FF000000FF"), std::string("\x05\xFF\0\0\0\xFF", 6));
  EXPECT_EQ(display::DecodeGlyphPairs("1"), std::string("\x10"));
  EXPECT_EQ(display::DecodeGlyphPairs("\n1"), std::string("\x01"));
}

TEST_F(TextOutput, InterCharacterWaitSpacesTheBytes) {
  so->InterCharacterWait = 100;
  const uint32_t start = fp.clock.Now();
  so->DisplayText(u"abc", DISP_DT_NORMAL);
  const auto written = fp.serial.WrittenWithTicks();
  ASSERT_EQ(written.size(), 3u);
  EXPECT_GE(written[1].first - written[0].first, 100u);
  EXPECT_GE(written[2].first - written[1].first, 100u);
  EXPECT_GE(fp.clock.Now() - start, 300u);

  // A negative wait is no wait, not a 49-day one.
  so->InterCharacterWait = -1;
  const uint32_t before = fp.clock.Now();
  so->DisplayText(u"xyz", DISP_DT_NORMAL);
  EXPECT_LT(fp.clock.Now() - before, 10u);
}

TEST_F(TextOutput, DisplayTextAtMovesThenWritesAndPlacesTheCursorAfterTheText) {
  so->DisplayTextAt(0, 0, u"abc", DISP_DT_NORMAL);
  EXPECT_EQ(fp.serial.Written(), Cat({B({0x1F, 0x24, 0x01, 0x01}), Text("abc")}));
  EXPECT_EQ(module->list[1].CursorColumn, 4);
  EXPECT_EQ(Line1(), "abc");
  EXPECT_EQ(module->list[1].ScrollSource, "abc");

  fp.serial.ClearWritten();
  Select(2);
  so->DisplayTextAt(0, 5, u"x", DISP_DT_REVERSE);
  EXPECT_EQ(fp.serial.Written(),
            Cat({B({0x1F, 0x24, 0x06, 0x02, 0x1F, 0x45, 0x00, 0x1F, 0x72, 0x01}), Text("x")}));
  EXPECT_EQ(Line2(), "x");
}

TEST_F(TextOutput, DisplayTextAtWrapsTheCursorOntoTheOtherLine) {
  so->MarqueeType = DISP_MT_LEFT;  // nothing is written, only the cursor moves
  module->list[1].CursorRow = 1;
  so->CurrentCursorColumn = 1;
  so->DisplayTextAt(0, 4, u"01234567890123456789", DISP_DT_NORMAL);  // 1 + 20 + 4 = 25
  EXPECT_EQ(module->list[1].CursorColumn, 5);
  EXPECT_EQ(module->list[1].CursorRow, 2);

  module->list[1].CursorRow = 1;
  so->DisplayTextAt(0, 24, u"01234567890123456789", DISP_DT_NORMAL);  // 45
  EXPECT_EQ(module->list[1].CursorColumn, 5);
  EXPECT_EQ(module->list[1].CursorRow, 1);

  // A huge column wraps arithmetically, and a row that is neither 1 nor 2 becomes 1 first.
  module->list[1].CursorRow = 0;
  so->DisplayTextAt(0, 2000000000, u"", DISP_DT_NORMAL);
  EXPECT_EQ(module->list[1].CursorColumn, (1 + 2000000000 - 1) % 20 + 1);
  EXPECT_EQ(module->list[1].CursorRow, ((1 + 2000000000 - 1) / 20) % 2 == 1 ? 1 : 2);
}

TEST_F(TextOutput, ZeroOrNegativeWidthNeitherDividesNorLoops) {
  for (const int32_t width : {0, -5}) {
    module->list[1].WindowWidth = width;
    module->list[1].CursorRow = 1;
    module->list[1].CursorColumn = 3;
    so->DisplayText(u"abc", DISP_DT_NORMAL);
    EXPECT_EQ(module->list[1].CursorColumn, 3);
    so->DisplayTextAt(0, 0, u"abcdef", DISP_DT_NORMAL);
    EXPECT_EQ(module->list[1].CursorRow, 1);
  }
}

TEST_F(TextOutput, MarqueeTypeDecidesWhetherDisplayTextAtStoresOrSends) {
  SetMarquee(DISP_MT_INIT);
  so->DisplayTextAt(0, 0, u"Scrolling Text Line 1 ", DISP_DT_NORMAL);
  EXPECT_EQ(fp.serial.Written(), B({0x1F, 0x24, 0x01, 0x01}));
  EXPECT_EQ(Line1(), "Scrolling Text Line 1 ");

  fp.serial.ClearWritten();
  so->MarqueeType = DISP_MT_LEFT;  // stored without starting a worker
  so->DisplayTextAt(0, 0, u"other", DISP_DT_NORMAL);
  EXPECT_TRUE(fp.serial.Written().empty());
  EXPECT_EQ(Line1(), "Scrolling Text Line 1 ");
}

TEST_F(TextOutput, LongTextIsCutToTheBuffers) {
  const std::u16string longText(300, u'x');
  so->DisplayTextAt(0, 0, longText, DISP_DT_NORMAL);
  EXPECT_EQ(Line1(), std::string(255, 'x'));
  EXPECT_EQ(fp.serial.Written(), Cat({B({0x1F, 0x24, 0x01, 0x01}), Text(std::string(255, 'x'))}));
}

TEST_F(TextOutput, EuroAndPoundReachTheDisplayAsCodePageBytes) {
  so->DisplayText(u"\u20AC\u00A3", DISP_DT_NORMAL);
  EXPECT_EQ(fp.serial.Written(), B({0x80, 0xA3}));
}

}  // namespace
}  // namespace kirnow::testing
