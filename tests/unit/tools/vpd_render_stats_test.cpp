// Rendering of the virtual pole display and its statistics of repeated frames.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "displaymodel/display_model.h"
#include "displaymodel/frame_stats.h"
#include "render.h"
#include "snapshot.h"

namespace kirnow::vpd {
using namespace kirnow::displaymodel;
namespace {

using Bytes = std::vector<uint8_t>;

void Feed(DisplayModel& m, const Bytes& bytes, double t = 0) {
  Bytes reply;
  m.Feed(bytes.data(), bytes.size(), t, reply);
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

DisplayModel Model() {
  ModelOptions o;
  o.productId = "0d21";
  return DisplayModel(o);
}

TEST(VpdRender, ReversedCellsAreInReverseVideoAndOthersAreNot) {
  DisplayModel m = Model();
  Feed(m, {'a', 'b', 0x1F, 0x72, 0x01, 'c', 'd', 0x1F, 0x72, 0x00, 'e'});
  auto lines = RenderFrame(m, RenderInfo{});
  const std::string& upper = lines[1];
  EXPECT_NE(upper.find("ab\x1b[7mc\x1b[27m\x1b[7md\x1b[27me"), std::string::npos) << upper;
  EXPECT_EQ(lines[2].find("\x1b[7m"), std::string::npos);  // lower line has none
}

TEST(VpdRender, BlinkingScreenGoesDarkInTheOffPhase) {
  DisplayModel m = Model();
  Feed(m, Str("Hello"), 0);
  Feed(m, {0x1F, 0x45, 0x02}, 1000);  // 100 ms on, 100 ms off
  EXPECT_TRUE(BlinkLit(m, 1050));
  EXPECT_FALSE(BlinkLit(m, 1150));
  EXPECT_TRUE(BlinkLit(m, 1250));
  RenderInfo dark;
  dark.blinkLit = false;
  EXPECT_EQ(RenderFrame(m, dark)[1].find("Hello"), std::string::npos);
  EXPECT_NE(RenderFrame(m, RenderInfo{})[1].find("Hello"), std::string::npos);
  Feed(m, {0x1F, 0x45, 0x00}, 1300);  // stop
  EXPECT_TRUE(BlinkLit(m, 1450));
}

TEST(VpdRender, BrightnessAndGlyphAreShownBesideTheBox) {
  DisplayModel m = Model();
  Feed(m, {0x1F, 0x58, 0x03, 0x1B, 0x26, 0x01, 0x5F, 0x5F, 0x05, 0x01, 0x03, 0x07, 0x0F, 0x80, 0x1B,
           0x25, 0x01, 0x5F});
  auto lines = RenderFrame(m, RenderInfo{});
  EXPECT_NE(lines[0].find("brightness 3"), std::string::npos);
  EXPECT_NE(lines[0].find("glyph 5F"), std::string::npos);
  EXPECT_EQ(lines[1].find("_"), std::string::npos);  // the cell shows the user-defined glyph
  // Bit 0 is the top row of the matrix.
  EXPECT_EQ(GlyphMatrix({0x01, 0x03, 0x07, 0x0F, 0x80}),
            (std::vector<std::string>{"####.", ".###.", "..##.", "...#.", ".....", ".....", ".....",
                                      "....#"}));
}

// A marquee as the service object's line worker sends it: the cursor move to 1,1 and 20
// characters every 100 ms, timed as a loaded machine might deliver them.
TEST(VpdFrames, RecordedMarqueeGivesPeriodAndJitter) {
  DisplayModel m = Model();
  const double times[] = {0, 100, 201, 299, 400, 502, 600};
  for (double t : times) {
    Bytes frame = {0x1F, 0x24, 0x01, 0x01};
    for (int i = 0; i < 20; ++i) frame.push_back('a' + i);
    Feed(m, frame, t);
  }
  Feed(m, {0x1F, 0x24, 0x05, 0x02, 'x'}, 650);  // a single move elsewhere is not a repeat
  auto cells = m.Frames().Repeated();
  ASSERT_EQ(cells.size(), 1u);
  const CellFrameStats& s = cells[0];
  EXPECT_EQ(s.row, 1);
  EXPECT_EQ(s.col, 1);
  EXPECT_EQ(s.count, 7);
  EXPECT_EQ(s.intervals, 6);
  EXPECT_DOUBLE_EQ(s.meanMs, 100.0);
  EXPECT_DOUBLE_EQ(s.minMs, 98.0);
  EXPECT_DOUBLE_EQ(s.maxMs, 102.0);
  // Gaps 100 101 98 101 102 98: sample standard deviation sqrt(14/5).
  EXPECT_NEAR(s.jitterMs, std::sqrt(14.0 / 5.0), 1e-9);
  EXPECT_DOUBLE_EQ(s.charsPerFrame, 20.0);
  EXPECT_NE(FormatSnapshot(m, SnapshotInfo{}).find("\"count\": 7, \"period_ms\": 100.000"),
            std::string::npos);
}

TEST(VpdFrames, GapAcrossAReplugIsNotMeasured) {
  DisplayModel m = Model();
  Feed(m, {0x1F, 0x24, 0x01, 0x01}, 0);
  Feed(m, {0x1F, 0x24, 0x01, 0x01}, 100);
  m.PowerOn();
  Feed(m, {0x1F, 0x24, 0x01, 0x01}, 5000);
  Feed(m, {0x1F, 0x24, 0x01, 0x01}, 5100);
  auto cells = m.Frames().Repeated();
  ASSERT_EQ(cells.size(), 1u);
  EXPECT_EQ(cells[0].count, 4);
  EXPECT_EQ(cells[0].intervals, 2);
  EXPECT_DOUBLE_EQ(cells[0].maxMs, 100.0);
}

TEST(VpdDecoding, CodePageBytesShowAsEuroAndPound) {
  EXPECT_EQ(CharacterUtf8(0x80), "\u20ac");
  EXPECT_EQ(CharacterUtf8(0xA3), "\u00a3");
  EXPECT_EQ(CharacterUtf8('A'), "A");
  EXPECT_EQ(CharacterUtf8(0x81), "\u00b7");  // unassigned in the code page
  EXPECT_EQ(CharacterUtf8(0x07), "\u00b7");
}

TEST(VpdSnapshot, LineTextIsEscapedAndCodePageBytesConverted) {
  DisplayModel m = Model();
  Feed(m, Str("a\"b\\c\x80\xA3"));
  std::string snap = FormatSnapshot(m, SnapshotInfo{});
  EXPECT_NE(snap.find("\"line1\": \"a\\\"b\\\\c\u20ac\u00a3             \","), std::string::npos)
      << snap;
  EXPECT_NE(snap.find("\"line1_hex\": \"6122625C6380A3"), std::string::npos);
  EXPECT_EQ(FormatLogLine(12.5, Bytes{0x1B, 0x40}.data(), 2), "12.500 1B 40");
}

}  // namespace
}  // namespace kirnow::vpd
