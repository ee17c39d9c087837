// Clearing, scrolling the window's last text past the edges, reading back, descriptors and
// user-defined characters.
#include "tests/unit/display/display_fixture.h"

namespace kirnow::testing {
namespace {

class Clearing : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    CreateLineWindows();
    Select(1);
  }
  // The window's last text and the cached cursor, as a scroll starts from them.
  void Prepare(const std::u16string& text, int32_t column, int32_t row) {
    so->DisplayText(text, DISP_DT_NORMAL);
    so->CurrentCursorColumn = column;
    so->CurrentCursorRow = row;
    fp.serial.ClearWritten();
  }
};

TEST_F(Clearing, ClearTextSendsTheResetOnlyWithoutAMarqueeButAlwaysEmptiesTheBuffers) {
  so->DisplayText(u"abc", DISP_DT_NORMAL);
  so->CurrentCursorColumn = 7;
  fp.serial.ClearWritten();
  so->ClearText();
  EXPECT_EQ(fp.serial.Written(),
            B({0x1B, 0x40, 0x1B, 0x25, 0x00, 0x1F, 0x45, 0x00, 0x1F, 0x72, 0x00}));
  EXPECT_EQ(Line1(), "");
  EXPECT_EQ(so->CurrentCursorColumn, 0);
  EXPECT_EQ(module->list[1].CursorColumn, 4);  // the record keeps its cursor

  so->DisplayText(u"abc", DISP_DT_NORMAL);
  so->MarqueeType = DISP_MT_LEFT;
  so->CurrentCursorColumn = 7;
  fp.serial.ClearWritten();
  so->ClearText();
  EXPECT_TRUE(fp.serial.Written().empty());
  EXPECT_EQ(Line1(), "");
  EXPECT_EQ(so->CurrentCursorColumn, 7);
}

TEST_F(Clearing, ScrollLeftMovesTheTextAndDropsLeadingCharactersPastTheEdge) {
  Prepare(u"abc", 5, 1);
  so->ScrollText(DISP_ST_LEFT, 2);
  EXPECT_EQ(fp.serial.Written(), Cat({B({0x0C, 0x1F, 0x24, 0x03, 0x01}), Text("abc")}));
  EXPECT_EQ(so->CurrentCursorColumn, 3);

  Prepare(u"abc", 2, 1);
  so->ScrollText(DISP_ST_LEFT, 2);
  EXPECT_EQ(fp.serial.Written(), Cat({B({0x0C, 0x1F, 0x24, 0x01, 0x01}), Text("c")}));
  EXPECT_EQ(so->CurrentCursorColumn, 1);
  // The count accumulates until ClearText: one more unit drops everything.
  fp.serial.ClearWritten();
  so->ScrollText(DISP_ST_LEFT, 1);
  EXPECT_EQ(fp.serial.Written(), B({0x0C, 0x1F, 0x24, 0x01, 0x01}));
  so->ClearText();
  EXPECT_EQ(shared().ScrollLeftTotal, 0);

  // Negative units past the edge never index before the text.
  Prepare(u"abc", -10, 1);
  so->ScrollText(DISP_ST_LEFT, -2);
  EXPECT_EQ(fp.serial.Written(), Cat({B({0x0C, 0x1F, 0x24, 0x01, 0x01}), Text("abc")}));
}

TEST_F(Clearing, ScrollRightDropsTrailingCharactersPastTheEdge) {
  Prepare(u"abc", 5, 2);
  so->ScrollText(DISP_ST_RIGHT, 3);
  EXPECT_EQ(fp.serial.Written(), Cat({B({0x0C, 0x1F, 0x24, 0x08, 0x02}), Text("abc")}));
  EXPECT_EQ(so->CurrentCursorColumn, 8);

  Prepare(u"abcde", 15, 1);
  so->ScrollText(DISP_ST_RIGHT, 2);  // 17 + 5 > 20: indexes 0 to 3
  EXPECT_EQ(fp.serial.Written(), Cat({B({0x0C, 0x1F, 0x24, 0x11, 0x01}), Text("abcd")}));
  fp.serial.ClearWritten();
  so->ScrollText(DISP_ST_RIGHT, 4);  // total 6: nothing is left
  EXPECT_EQ(fp.serial.Written(), B({0x0C, 0x1F, 0x24, 0x15, 0x01}));

  // A total of zero or less never sends the terminator or reads past the text.
  so->ClearText();
  Prepare(u"abcde", 18, 1);
  so->ScrollText(DISP_ST_RIGHT, -1);
  EXPECT_EQ(fp.serial.Written(), Cat({B({0x0C, 0x1F, 0x24, 0x11, 0x01}), Text("abcde")}));
}

TEST_F(Clearing, OtherDirectionsAndMarqueesSendNothing) {
  Prepare(u"abc", 5, 1);
  so->ScrollText(DISP_ST_UP, 1);
  so->ScrollText(DISP_ST_DOWN, 1);
  so->ScrollText(7, 1);
  so->MarqueeType = DISP_MT_INIT;
  so->ScrollText(DISP_ST_LEFT, 1);
  EXPECT_TRUE(fp.serial.Written().empty());
  EXPECT_EQ(so->CurrentCursorColumn, 5);
}

TEST_F(Clearing, ReadCharacterAtCursorPlacesTheCursorAndAnswersE) {
  so->CurrentCursorColumn = 3;
  so->CurrentCursorRow = 2;
  int32_t c = 0;
  so->ReadCharacterAtCursor(&c);
  EXPECT_EQ(c, 69);
  EXPECT_EQ(fp.serial.Written(), B({0x1F, 0x24, 0x03, 0x02}));
  EXPECT_EQ(so->SetDescriptor(1, 1), OPOS_SUCCESS);
  EXPECT_EQ(so->ClearDescriptors(), OPOS_SUCCESS);
  EXPECT_EQ(fp.serial.Written().size(), 4u);
}

TEST_F(Clearing, DefineGlyphSendsTheDecodedBodyForCharacter5F) {
  so->DefineGlyph(200, u"05FF000000FF");
  EXPECT_EQ(fp.serial.Written(), B({0x1B, 0x26, 0x01, 0x5F, 0x5F, 0x05, 0xFF, 0x00, 0x00, 0x00,
                                    0xFF, 0x1B, 0x25, 0x01}));
  fp.serial.ClearWritten();
  so->DefineGlyph(0, u"1");
  EXPECT_EQ(fp.serial.Written(), B({0x1B, 0x26, 0x01, 0x5F, 0x5F, 0x10, 0x1B, 0x25, 0x01}));

  // A glyph that cannot be converted is empty; a long one is cut at 255 characters.
  fp.serial.ClearWritten();
  so->DefineGlyph(0, u"\u4E2D\u6587");
  const Bytes written = fp.serial.Written();
  ASSERT_GE(written.size(), 8u);
  EXPECT_LE(written.size(), 9u);

  fp.serial.ClearWritten();
  so->DefineGlyph(0, std::u16string(600, u'1'));
  EXPECT_EQ(fp.serial.Written().size(), 5u + 128u + 3u);  // 255 digits: 127 pairs and a half
}

}  // namespace
}  // namespace kirnow::testing
