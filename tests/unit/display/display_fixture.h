// A service object opened on the fakes (no display registered, so it comes up offline) with the
// port opened directly, plus helpers to read what went over the wire.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "opos/opos_constants.h"
#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/workers.h"
#include "tests/fakes/fake_platform.h"

namespace kirnow::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// One cursor move to column 1 of a row followed by the characters sent after it.
struct Frame {
  uint32_t tick = 0;  // when the move's first byte was written
  int row = 0;
  std::string text;
};

// Splits a recording into frames at every 1F 24 01 r; bytes before the first move are dropped.
inline std::vector<Frame> Frames(const std::vector<std::pair<uint32_t, uint8_t>>& written) {
  std::vector<Frame> frames;
  for (size_t i = 0; i < written.size(); ++i) {
    if (i + 3 < written.size() && written[i].second == 0x1F && written[i + 1].second == 0x24 &&
        written[i + 2].second == 0x01) {
      frames.push_back(Frame{written[i].first, written[i + 3].second, {}});
      i += 3;
    } else if (!frames.empty()) {
      frames.back().text.push_back(static_cast<char>(written[i].second));
    }
  }
  return frames;
}

inline std::vector<Frame> FramesOfRow(const std::vector<Frame>& frames, int row) {
  std::vector<Frame> out;
  for (const Frame& f : frames) {
    if (f.row == row) out.push_back(f);
  }
  return out;
}

inline std::string Blanks(size_t n = 20) { return std::string(n, ' '); }

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    so->OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
    fp.serial.AddPort(kPort);
    ASSERT_TRUE(module->Port.Open(kPort, 9600));
    fp.serial.ClearWritten();
    fp.box.shown.clear();
  }

  void TearDown() override {
    so.reset();
    module.reset();  // stops and joins every worker
    EXPECT_EQ(fp.clock.LiveWorkers(), 0u);
  }

  // Windows 1 (upper line) and 2 (lower line) as the test utility makes them; window 0 stays
  // current and nothing they sent is kept.
  void CreateLineWindows() {
    so->CreateWindow(0, 0, 1, 20, 1, 20);
    so->CreateWindow(1, 0, 1, 20, 1, 20);
    so->RefreshWindow(0);
    fp.serial.ClearWritten();
  }

  // The marquee and blink workers alive, without the port's keeper thread.
  size_t DisplayWorkers() const {
    return fp.clock.LiveWorkers() - (module->Port.Keeping() ? 1u : 0u);
  }

  void Select(int32_t window) { so->SetPropertyNumber(PIDXDisp_CurrentWindow, window); }
  void SetMarquee(int32_t type) { so->SetPropertyNumber(PIDXDisp_MarqueeType, type); }
  void SetUnitWait(int32_t ms) { so->SetPropertyNumber(PIDXDisp_MarqueeUnitWait, ms); }

  // The test utility's marquee of one line: select, clear, MarqueeType 5, text, MarqueeType 3.
  // ClearText empties both line buffers; `clear` false leaves it out.
  void StartMarquee(int32_t window, const std::u16string& text, int32_t unitWait,
                    bool clear = true) {
    Select(window);
    SetUnitWait(unitWait);
    if (clear) so->ClearText();
    SetMarquee(DISP_MT_INIT);
    so->DisplayTextAt(0, 0, text, DISP_DT_NORMAL);
    SetMarquee(DISP_MT_LEFT);
  }

  DisplayShared& shared() { return module->display; }
  // Worker `n`'s flags (1 and 2: lines 1 and 2 alone, 3: both lines) and the engine's others.
  display::WorkersSnapshot Flags() { return display::Workers(*module).Snapshot(); }
  display::WorkersSnapshot::Slot Worker(int n) { return Flags().workers[size_t(n) - 1]; }
  std::string Line1() { return shared().text1.data(); }
  std::string Line2() { return shared().text2.data(); }

  static constexpr int32_t kPort = 1;
  fakes::FakePlatform fp;
  std::unique_ptr<ModuleState> module = fakes::MakeModule(fp);
  std::unique_ptr<POSLDisplay> so = std::make_unique<POSLDisplay>(*module);
};

}  // namespace kirnow::testing
