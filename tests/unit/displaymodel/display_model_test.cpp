// The display model's decoder and screen model (the virtual pole display runs on them), fed byte
// sequences as the service object sends them (and a few it should never send).
#include "displaymodel/display_model.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kirnow::vpd {
using namespace kirnow::displaymodel;
namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(std::initializer_list<int> v) {
  Bytes out;
  for (int x : v) out.push_back(static_cast<uint8_t>(x));
  return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

ModelOptions Opts(IdentityMode mode = IdentityMode::Answer) {
  ModelOptions o;
  o.identity = mode;
  o.productId = "0d21";
  o.sequenceTimeoutMs = 1000;
  return o;
}

// Feeds all bytes at time t; returns what the display answered.
Bytes Feed(DisplayModel& m, const Bytes& bytes, double t = 0) {
  Bytes reply;
  m.Feed(bytes.data(), bytes.size(), t, reply);
  return reply;
}

std::string Line(const DisplayModel& m, int row) { return m.LineBytes(row); }

std::string Reversed(const DisplayModel& m, int row) {
  std::string out;
  for (int c = 1; c <= kColumns; ++c) out += m.At(row, c).reverse ? 'R' : '.';
  return out;
}

std::string Pad(std::string s) {
  s.resize(kColumns, ' ');
  return s;
}

// Everything a session sends in one go: greeting, attributes, cursor moves, brightness, a glyph.
Bytes SessionScript() {
  return Cat({B({0x1B, 0x40}), Text("JQ POS"), B({0x1F, 0x72, 0x01}), Text("Rv"),
              B({0x1F, 0x72, 0x00}), B({0x1F, 0x45, 0x05}), B({0x1F, 0x58, 0x02}),
              B({0x1F, 0x24, 0x03, 0x02}), Text("Sum "), B({0x80, 0xA3}),
              B({0x1B, 0x26, 0x01, 0x5F, 0x5F, 0x05, 0x01, 0x02, 0x04, 0x08, 0x10}),
              B({0x1B, 0x25, 0x01}), B({0x5F}), B({0x1D, 0x49, 0x02}), Text("z")});
}

void ExpectSameState(const DisplayModel& a, const DisplayModel& b) {
  EXPECT_EQ(Line(a, 1), Line(b, 1));
  EXPECT_EQ(Line(a, 2), Line(b, 2));
  EXPECT_EQ(Reversed(a, 1), Reversed(b, 1));
  EXPECT_EQ(a.CursorRow(), b.CursorRow());
  EXPECT_EQ(a.CursorCol(), b.CursorCol());
  EXPECT_EQ(a.Blink(), b.Blink());
  EXPECT_EQ(a.ReverseMode(), b.ReverseMode());
  EXPECT_EQ(a.Brightness(), b.Brightness());
  EXPECT_EQ(a.UserCharset(), b.UserCharset());
  EXPECT_EQ(a.Glyphs(), b.Glyphs());
  EXPECT_EQ(a.IgnoredSequences(), b.IgnoredSequences());
}

TEST(VpdDecoding, SessionScriptGivesTheExpectedScreen) {
  DisplayModel m(Opts());
  Bytes reply = Feed(m, SessionScript());
  EXPECT_EQ(Line(m, 1), Pad("JQ POSRv"));
  EXPECT_EQ(Line(m, 2), Pad("  Sum \x80\xA3_z"));
  EXPECT_EQ(Reversed(m, 1), "......RR............");
  EXPECT_EQ(m.Blink(), 5);
  EXPECT_EQ(m.Brightness(), 2);
  EXPECT_TRUE(m.UserCharset());
  EXPECT_EQ(m.Glyph(0x5F), B({0x01, 0x02, 0x04, 0x08, 0x10}));
  EXPECT_TRUE(m.ShowsUserGlyph(2, 9));
  EXPECT_FALSE(m.ShowsUserGlyph(2, 8));
  EXPECT_EQ(reply, Text("PID:0d21"));
  EXPECT_EQ(m.CursorRow(), 2);
  EXPECT_EQ(m.CursorCol(), 11);
  EXPECT_EQ(m.IgnoredSequences(), 0);
  EXPECT_EQ(m.BytesReceived(), SessionScript().size());
}

TEST(VpdDecoding, EverySplitIntoTwoReadsGivesTheSameState) {
  Bytes script = SessionScript();
  DisplayModel whole(Opts());
  Feed(whole, script);
  for (size_t cut = 1; cut < script.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    DisplayModel split(Opts());
    Bytes first(script.begin(), script.begin() + static_cast<long>(cut));
    Bytes second(script.begin() + static_cast<long>(cut), script.end());
    Bytes reply = Feed(split, first, 0);
    Bytes more = Feed(split, second, 30);  // the next read, 30 ms later
    reply.insert(reply.end(), more.begin(), more.end());
    ExpectSameState(whole, split);
    EXPECT_EQ(reply, Text("PID:0d21"));
  }
}

TEST(VpdDecoding, OneByteReadsGiveTheSameState) {
  Bytes script = SessionScript();
  DisplayModel whole(Opts()), bytewise(Opts());
  Feed(whole, script);
  double t = 0;
  for (uint8_t b : script) Feed(bytewise, {b}, t += 1.04);  // 9600 baud spacing
  ExpectSameState(whole, bytewise);
}

TEST(VpdDecoding, InitialiseClearsAndResetsModesButKeepsBrightness) {
  DisplayModel m(Opts());
  Feed(m, SessionScript());
  Feed(m, B({0x1B, 0x40}));
  EXPECT_EQ(Line(m, 1), Pad(""));
  EXPECT_EQ(Line(m, 2), Pad(""));
  EXPECT_EQ(Reversed(m, 1), std::string(kColumns, '.'));
  EXPECT_EQ(m.CursorRow(), 1);
  EXPECT_EQ(m.CursorCol(), 1);
  EXPECT_EQ(m.Blink(), 0);
  EXPECT_FALSE(m.ReverseMode());
  EXPECT_FALSE(m.UserCharset());
  EXPECT_TRUE(m.Glyphs().empty());
  EXPECT_EQ(m.Brightness(), 2);
  m.PowerOn();  // a power cycle brings the brightness back too
  EXPECT_EQ(m.Brightness(), kDefaultBrightness);
}

TEST(VpdDecoding, ClearHomesTheCursorAndKeepsReverseMode) {
  DisplayModel m(Opts());
  Feed(m, Cat({B({0x1F, 0x24, 0x05, 0x02}), Text("ab"), B({0x1F, 0x72, 0x01, 0x0C}), Text("c")}));
  EXPECT_EQ(Line(m, 1), Pad("c"));
  EXPECT_EQ(Line(m, 2), Pad(""));
  EXPECT_TRUE(m.At(1, 1).reverse);
}

TEST(VpdDecoding, CursorWrapsFromTheUpperToTheLowerLineAndBackHome) {
  DisplayModel m(Opts());
  Feed(m, Text("ABCDEFGHIJKLMNOPQRSTU"));
  EXPECT_EQ(Line(m, 1), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(Line(m, 2), Pad("U"));
  EXPECT_EQ(m.CursorRow(), 2);
  EXPECT_EQ(m.CursorCol(), 2);
  Feed(m, Cat({B({0x1F, 0x24, 20, 2}), Text("xy")}));
  EXPECT_EQ(Line(m, 2)[19], 'x');
  EXPECT_EQ(Line(m, 1)[0], 'y');  // overwrite mode: after the lower line comes the upper one
}

TEST(VpdDecoding, CursorMoveOutsideTheScreenIsIgnored) {
  DisplayModel m(Opts());
  Feed(m, Cat({B({0x1F, 0x24, 0x04, 0x01}), B({0x1F, 0x24, 0x00, 0x01}), B({0x1F, 0x24, 21, 1}),
               B({0x1F, 0x24, 1, 3}), Text("k")}));
  EXPECT_EQ(Line(m, 1), Pad("   k"));
  EXPECT_EQ(m.IgnoredSequences(), 3);
}

// ---- malformed and truncated input ----

TEST(VpdMalformed, CursorMoveCutShortCompletesWhenTheRestComesSoon) {
  DisplayModel m(Opts());
  Feed(m, B({0x1F, 0x24, 0x03}), 0);
  Feed(m, Cat({B({0x02}), Text("q")}), 500);
  EXPECT_EQ(Line(m, 2), Pad("  q"));
}

TEST(VpdMalformed, CursorMoveCutShortDoesNotSwallowLaterText) {
  DisplayModel m(Opts());
  Feed(m, B({0x1F, 0x24, 0x03}), 0);
  Feed(m, Text("Hello"), 2000);  // well after the sequence time-out
  EXPECT_EQ(Line(m, 1), Pad("Hello"));
  EXPECT_EQ(m.IgnoredSequences(), 1);
  EXPECT_FALSE(m.InSequence());
}

TEST(VpdMalformed, OversizedDotCountIsRefusedAndTheSelectStillWorks) {
  // The definition a one-digit glyph string produces: a count of 16 and no columns.
  DisplayModel m(Opts());
  Feed(m, Cat({B({0x1B, 0x26, 0x01, 0x5F, 0x5F, 0x10, 0x1B, 0x25, 0x01}), Text("ok")}));
  EXPECT_FALSE(m.Glyph(0x5F).has_value());
  EXPECT_TRUE(m.UserCharset());
  EXPECT_EQ(Line(m, 1), Pad("ok"));
}

TEST(VpdMalformed, DefinitionWithTooFewColumnsIsDroppedAfterThePause) {
  DisplayModel m(Opts());
  Feed(m, B({0x1B, 0x26, 0x01, 0x5F, 0x5F, 0x05, 0xFF, 0x00}), 0);
  Feed(m, Text("after"), 1500);
  EXPECT_FALSE(m.Glyph(0x5F).has_value());
  EXPECT_EQ(Line(m, 1), Pad("after"));
}

TEST(VpdMalformed, BadDefinitionHeadersAreRefused) {
  DisplayModel m(Opts());
  Feed(m, Cat({B({0x1B, 0x26, 0x02}), Text("a"),                 // two bytes high: not here
               B({0x1B, 0x26, 0x01, 0x60, 0x5F}), Text("b")}));  // last code before first
  EXPECT_EQ(Line(m, 1), Pad("ab"));
  EXPECT_TRUE(m.Glyphs().empty());
  EXPECT_EQ(m.IgnoredSequences(), 2);
}

TEST(VpdMalformed, DefinitionOfARangeTakesOneBodyPerCode) {
  DisplayModel m(Opts());
  Feed(m, Cat({B({0x1B, 0x26, 0x01, 0x41, 0x42, 0x02, 0x11, 0x22, 0x00}), Text("x")}));
  EXPECT_EQ(m.Glyph(0x41), B({0x11, 0x22}));
  EXPECT_EQ(m.Glyph(0x42), Bytes{});
  EXPECT_EQ(Line(m, 1), Pad("x"));
}

TEST(VpdMalformed, UnknownCommandFollowedByARealOneKeepsTheRealOne) {
  DisplayModel m(Opts());
  Feed(m, Cat({B({0x1B, 0x1F, 0x24, 0x03, 0x01}), Text("x"), B({0x1F, 0x99}), Text("y"),
               B({0x1D, 0x49, 0x01}), Text("z")}));
  EXPECT_EQ(Line(m, 1), Pad("  xyz"));
  EXPECT_EQ(m.IgnoredSequences(), 3);
}

TEST(VpdMalformed, RandomBytesNeverLeaveTheScreen) {
  DisplayModel m(Opts());
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> byte(0, 255), prefix(0, 9);
  const uint8_t prefixes[] = {0x1B, 0x1F, 0x1D};
  double t = 0;
  for (int i = 0; i < 200000; ++i) {
    // Plenty of command prefixes so that every state is visited often.
    int p = prefix(rng);
    uint8_t b = p < 3 ? prefixes[p] : static_cast<uint8_t>(byte(rng));
    t += (i % 97 == 0) ? 1500 : 0.5;
    Feed(m, {b}, t);
    ASSERT_GE(m.CursorRow(), 1);
    ASSERT_LE(m.CursorRow(), kRows);
    ASSERT_GE(m.CursorCol(), 1);
    ASSERT_LE(m.CursorCol(), kColumns);
  }
  for (const auto& [code, cols] : m.Glyphs()) EXPECT_LE(cols.size(), size_t{kGlyphColumns});
}

// ---- identification ----

TEST(VpdIdentity, ModesAnswerAsConfigured) {
  const Bytes query = B({0x1D, 0x49, 0x02});
  DisplayModel answer(Opts(IdentityMode::Answer));
  EXPECT_EQ(Feed(answer, query), Text("PID:0d21"));
  EXPECT_EQ(Feed(answer, query), Text("PID:0d21"));

  DisplayModel second(Opts(IdentityMode::SecondOnly));
  EXPECT_EQ(Feed(second, query), Bytes{});
  EXPECT_EQ(Feed(second, query), Text("PID:0d21"));
  second.PowerOn();  // re-plugged: the first query after it is unanswered again
  EXPECT_EQ(Feed(second, query), Bytes{});

  DisplayModel wrong(Opts(IdentityMode::WrongId));
  Bytes w = Feed(wrong, query);
  ASSERT_EQ(w.size(), 8u);
  EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "PID:");
  EXPECT_NE(w, Text("PID:0d21"));

  DisplayModel silent(Opts(IdentityMode::Silent));
  EXPECT_EQ(Feed(silent, query), Bytes{});
  EXPECT_EQ(silent.Identity().TotalQueries(), 1);
}

TEST(VpdIdentity, QueryLeavesTheScreenAlone) {
  DisplayModel m(Opts());
  Feed(m, Cat({Text("ab"), B({0x1D, 0x49, 0x02}), Text("c")}));
  EXPECT_EQ(Line(m, 1), Pad("abc"));
}

TEST(VpdIdentity, OtherIdDiffersAndKeepsItsForm) {
  for (std::string id : {"0d21", "FFFF", "0000", "ABCD"}) {
    std::string other = IdentityResponder::OtherId(id);
    EXPECT_NE(other, id);
    EXPECT_TRUE(IdentityResponder::IsProductId(other)) << other;
  }
  EXPECT_FALSE(IdentityResponder::IsProductId("0d2"));
  EXPECT_FALSE(IdentityResponder::IsProductId("0d2g"));
  EXPECT_EQ(ParseIdentityMode("second"), IdentityMode::SecondOnly);
  EXPECT_FALSE(ParseIdentityMode("loud").has_value());
}

// The repaint that follows a reconnect: a switched-on display fed the model's repaint shows
// exactly what the model shows.
TEST(Repaint, BringsAFreshDisplayToTheModelsState) {
  DisplayModel drawn(Opts());
  std::vector<uint8_t> reply;
  const Bytes shown =
      Cat({B({0x1F, 0x58, 0x02}),                                   // brightness 2
           B({0x1B, 0x26, 0x01, 0x80, 0x80, 0x05, 1, 2, 3, 4, 5}),  // a glyph
           B({0x1B, 0x25, 0x01}),                                   // user set
           Text("plain "), B({0x1F, 0x72, 0x01}), Text("rev"), B({0x1F, 0x72, 0x00}),
           B({0x1F, 0x24, 0x03, 0x02}), Text("low\x80"), B({0x1F, 0x72, 0x01}),
           B({0x1F, 0x45, 0x05}), B({0x1F, 0x24, 0x07, 0x02})});
  drawn.Feed(shown.data(), shown.size(), 0, reply);

  DisplayModel fresh(Opts());
  fresh.Feed(Text("left over from before").data(), 21, 0, reply);
  fresh.PowerOn();
  const Bytes repaint = RepaintBytes(drawn);
  fresh.Feed(repaint.data(), repaint.size(), 0, reply);
  for (int32_t row = 1; row <= kRows; ++row) {
    EXPECT_EQ(fresh.LineBytes(row), drawn.LineBytes(row)) << row;
    for (int32_t col = 1; col <= kColumns; ++col) {
      EXPECT_EQ(fresh.At(row, col).reverse, drawn.At(row, col).reverse) << row << "," << col;
    }
  }
  EXPECT_EQ(fresh.CursorRow(), 2);
  EXPECT_EQ(fresh.CursorCol(), 7);
  EXPECT_TRUE(fresh.ReverseMode());
  EXPECT_EQ(fresh.Blink(), 5);
  EXPECT_EQ(fresh.Brightness(), 2);
  EXPECT_TRUE(fresh.UserCharset());
  EXPECT_EQ(fresh.Glyphs(), drawn.Glyphs());
  EXPECT_EQ(fresh.IgnoredSequences(), 0);
}

}  // namespace
}  // namespace kirnow::vpd
