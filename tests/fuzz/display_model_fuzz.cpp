// Fuzz target: the pole display's decoder and its repaint. Arbitrary bytes (with arrival times
// when the first byte asks for them, so that commands cut short by the time-out occur) go into a
// model; its state must stay within the display (cursor on the screen, glyphs no wider than a
// cell), and the repaint fed to a freshly switched-on model must show the very same screen.
#include <vector>

#include "displaymodel/display_model.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kirnow::displaymodel;

namespace {

void CheckSameScreen(const DisplayModel& a, const DisplayModel& b) {
  for (int32_t row = 1; row <= kRows; ++row) {
    for (int32_t col = 1; col <= kColumns; ++col) {
      FUZZ_CHECK(a.At(row, col).ch == b.At(row, col).ch);
      FUZZ_CHECK(a.At(row, col).reverse == b.At(row, col).reverse);
      FUZZ_CHECK(a.ShowsUserGlyph(row, col) == b.ShowsUserGlyph(row, col));
    }
  }
  FUZZ_CHECK(a.CursorRow() == b.CursorRow());
  FUZZ_CHECK(a.CursorCol() == b.CursorCol());
  FUZZ_CHECK(a.Blink() == b.Blink());
  FUZZ_CHECK(a.ReverseMode() == b.ReverseMode());
  FUZZ_CHECK(a.Brightness() == b.Brightness());
  FUZZ_CHECK(a.BrightnessSet() == b.BrightnessSet());
  FUZZ_CHECK(a.UserCharset() == b.UserCharset());
  FUZZ_CHECK(a.Glyphs() == b.Glyphs());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kirnow::fuzz::Input in(data, size);
  const uint8_t mode = in.Byte();
  ModelOptions options;
  options.productId = "0d21";
  options.identity = static_cast<IdentityMode>(mode % 4);
  options.sequenceTimeoutMs = (mode & 4) ? 1000 : 0;
  DisplayModel model(options);
  std::vector<uint8_t> reply;
  double t = 0;
  while (!in.Empty()) {
    if (mode & 8) t += in.Byte() * 20.0;  // up to 5 s between two bytes
    model.Feed(in.Byte(), t, reply);
    FUZZ_CHECK(model.CursorRow() >= 1 && model.CursorRow() <= kRows);
    FUZZ_CHECK(model.CursorCol() >= 1 && model.CursorCol() <= kColumns);
  }
  for (const auto& [code, columns] : model.Glyphs()) {
    FUZZ_CHECK(columns.size() <= static_cast<size_t>(kGlyphColumns));
  }
  // Every answer the display gave is a whole identification.
  FUZZ_CHECK(reply.size() % 8 == 0);

  const std::vector<uint8_t> repaint = RepaintBytes(model);
  DisplayModel fresh(options);
  std::vector<uint8_t> none;
  fresh.Feed(repaint.data(), repaint.size(), 0, none);
  FUZZ_CHECK(none.empty());  // a repaint asks nothing
  FUZZ_CHECK(!fresh.InSequence());
  CheckSameScreen(model, fresh);
  return 0;
}
