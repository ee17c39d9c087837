// The display engine end to end over a real pseudo-terminal to the virtual pole display: text at
// a position, a marquee on line 1 and blinking on both lines, and a display unplugged and
// plugged in again while idle, walking or blinking, on the system clock and serial device.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "opos/opos_constants.h"
#include "platform/platform.h"
#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/workers.h"
#include "system_platform.h"
#include "tests/fakes/recording_message_box.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

const std::string kDeviceName = "JQ POS POLE DISPLAY";

using it::SystemPlatform;

struct WireFrame {
  double ms = 0;  // arrival of the cursor move
  int row = 0;
  std::string text;
};

// The worker frames the display received: a move to column 1 followed by 20 characters.
std::vector<WireFrame> FramesOfRow(const std::vector<std::pair<double, uint8_t>>& bytes, int row) {
  std::vector<WireFrame> frames;
  for (size_t i = 0; i + 3 < bytes.size(); ++i) {
    if (bytes[i].second != 0x1F || bytes[i + 1].second != 0x24 || bytes[i + 2].second != 0x01) {
      continue;
    }
    WireFrame f{bytes[i].first, bytes[i + 3].second, {}};
    size_t j = i + 4;
    while (j < bytes.size() && bytes[j].second != 0x1F && bytes[j].second != 0x1B) {
      f.text.push_back(static_cast<char>(bytes[j++].second));
    }
    if (f.row == row && f.text.size() == 20) frames.push_back(f);
    i = j - 1;
  }
  return frames;
}

class DisplayOverPty : public ::testing::Test {
 protected:
  // How the virtual display is started: as a display that reads whatever comes, by default.
  virtual it::VirtualDisplayOptions DisplayOptions() const { return {}; }

  void SetUp() override {
    ASSERT_TRUE(display.Start(DisplayOptions()));
    store = std::make_unique<it::TestRegistryFile>();
    store->AddDisplay(kDeviceName, 5, display.LinkPath());
    sys = std::make_unique<SystemPlatform>();
    module = std::make_unique<ModuleState>(sys->Get(), false);
    so = std::make_unique<POSLDisplay>(*module);
    so->OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
    ASSERT_EQ(so->ResultCode, OPOS_SUCCESS);
    so->ClaimDevice(1000);
    // One window per line, as the test utility divides the display.
    so->CreateWindow(0, 0, 1, 20, 1, 20);
    so->CreateWindow(1, 0, 1, 20, 1, 20);
  }
  void TearDown() override {
    so.reset();
    module.reset();
    display.Stop();
  }

  void Select(int32_t window) { so->SetPropertyNumber(PIDXDisp_CurrentWindow, window); }
  void SetMarquee(int32_t type) { so->SetPropertyNumber(PIDXDisp_MarqueeType, type); }

  int32_t Ended(kirnow::display::Worker w) {
    return kirnow::display::Workers(*module).Snapshot().of(w).ended;
  }

  it::Snapshot SnapshotWhen(const std::function<bool(const it::Snapshot&)>& done) {
    display.WaitForSnapshot(done, 3000);
    return display.ReadSnapshot();
  }

  it::VirtualDisplay display;
  std::unique_ptr<it::TestRegistryFile> store;
  std::unique_ptr<SystemPlatform> sys;
  std::unique_ptr<ModuleState> module;
  std::unique_ptr<POSLDisplay> so;
};

TEST_F(DisplayOverPty, TextLandsWhereTheWindowsPutIt) {
  Select(1);
  so->ClearText();
  so->DisplayTextAt(0, 0, u"Total", DISP_DT_NORMAL);
  Select(2);
  so->DisplayTextAt(0, 3, u"\u20AC 12.50", DISP_DT_NORMAL);
  const it::Snapshot s = SnapshotWhen([](const it::Snapshot& snap) {
    return snap.line1.rfind("Total", 0) == 0 && snap.line2.find("12.50") != std::string::npos;
  });
  EXPECT_EQ(s.line1, "Total" + std::string(15, ' '));
  EXPECT_EQ(s.line2, "   \u20AC 12.50" + std::string(10, ' '));
}

TEST_F(DisplayOverPty, LineOneMarqueeStepsEveryTwoHundredMillisecondsAndStopsCleanly) {
  Select(1);
  so->SetPropertyNumber(PIDXDisp_MarqueeUnitWait, 100);
  so->ClearText();
  SetMarquee(DISP_MT_INIT);
  so->DisplayTextAt(0, 0, u"Scrolling Text Line 1 ", DISP_DT_NORMAL);
  SetMarquee(DISP_MT_LEFT);
  std::this_thread::sleep_for(std::chrono::milliseconds(2300));
  SetMarquee(DISP_MT_INIT);
  EXPECT_EQ(Ended(kirnow::display::Worker::Line1), 1);

  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto frames = FramesOfRow(display.ReceivedBytesWithTimes(), 1);
  ASSERT_GE(frames.size(), 10u);
  EXPECT_EQ(frames[0].text, std::string(20, ' '));
  const double mean = (frames.back().ms - frames.front().ms) / double(frames.size() - 1);
  EXPECT_NEAR(mean, 200.0, 10.0);

  // Nothing arrives after the control has returned.
  const size_t received = display.ReceivedBytes().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(display.ReceivedBytes().size(), received);
}

TEST_F(DisplayOverPty, BothLinesBlinkThroughTheCombinedWorker) {
  Select(1);
  so->ClearText();
  so->DisplayTextAt(0, 0, u"TOP", DISP_DT_BLINK);
  Select(2);
  so->DisplayTextAt(0, 0, u"BOTTOM", DISP_DT_BLINK);
  EXPECT_EQ(Ended(kirnow::display::Worker::Combined), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1600));
  SetMarquee(DISP_MT_NONE);
  EXPECT_EQ(Ended(kirnow::display::Worker::Combined), 1);

  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto received = display.ReceivedBytesWithTimes();
  for (const int row : {1, 2}) {
    auto frames = FramesOfRow(received, row);
    ASSERT_GE(frames.size(), 5u);
    // The stop cuts the worker's tick wait short and its step ends with one more frame.
    frames.pop_back();
    // The display stamps a frame when it reads it, after it was sent: on a busy machine a frame
    // read late shortens the interval after it, the next being on time. Frames sent back to back
    // show here, phases cut short in the mean below.
    for (size_t k = 1; k < frames.size(); ++k) EXPECT_GE(frames[k].ms - frames[k - 1].ms, 125.0);
    // The mean is taken between two stamps, each of which may be late by the display's read:
    // a late first stamp shortens it by a fraction of a millisecond.
    const double mean = (frames.back().ms - frames.front().ms) / double(frames.size() - 1);
    EXPECT_GE(mean, 249.5);
  }
}

// What runs while the display is pulled out and plugged in again.
enum class Activity { Idle, Marquee, Blink };

class UnplugOverPty : public DisplayOverPty, public ::testing::WithParamInterface<Activity> {};

// Nobody calls while the display is away: the port's keeper finds it gone, reopens it after the
// replug and repaints; a marquee or blink goes on with its frames.
TEST_P(UnplugOverPty, TheDisplayComesBackShowingItsLines) {
  const Activity activity = GetParam();
  const std::string line1 = "first line" + std::string(10, ' ');
  const std::string line2 = "second line" + std::string(9, ' ');
  Select(1);
  so->ClearText();
  if (activity == Activity::Marquee) {
    so->SetPropertyNumber(PIDXDisp_MarqueeUnitWait, 100);
    SetMarquee(DISP_MT_INIT);
    so->DisplayTextAt(0, 0, u"Scrolling Text Line 1 ", DISP_DT_NORMAL);
    SetMarquee(DISP_MT_LEFT);
  } else {
    so->DisplayTextAt(0, 0, u"first line", DISP_DT_NORMAL);
  }
  Select(2);
  so->DisplayTextAt(0, 0, u"second line",
                    activity == Activity::Blink ? DISP_DT_BLINK : DISP_DT_NORMAL);
  const auto shown = [&](const it::Snapshot& s) {
    return s.line2 == line2 &&
           (activity == Activity::Marquee ? s.line1 != std::string(20, ' ') : s.line1 == line1);
  };
  ASSERT_TRUE(display.WaitForSnapshot(shown, 3000));

  display.Unplug();
  ASSERT_TRUE(display.WaitForSnapshot([](const it::Snapshot& s) { return !s.plugged; }, 2000));
  ASSERT_TRUE(display.WaitForSnapshot(
      [](const it::Snapshot& s) { return s.plugged && s.generation == 2; }, 3000));
  // A fresh display is blank; the keeper polls every 500 ms, so this is well within bounds.
  EXPECT_TRUE(display.WaitForSnapshot(shown, 3000))
      << display.ReadSnapshot().line1 << "|" << display.ReadSnapshot().line2;
  EXPECT_FALSE(module->Port.Dead());

  if (activity == Activity::Marquee) {
    const size_t before = FramesOfRow(display.ReceivedBytesWithTimes(), 1).size();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_GE(FramesOfRow(display.ReceivedBytesWithTimes(), 1).size(), before + 3);
  }
}

// A display plugged back in that does not read for its first seconds (still starting up, or its
// flow control held).
class ReplugNotReadingOverPty : public DisplayOverPty {
 protected:
  static constexpr int kHoldMs = 3000;
  it::VirtualDisplayOptions DisplayOptions() const override {
    it::VirtualDisplayOptions o;
    o.extraArgs = {"--hold-after-replug", std::to_string(kHoldMs)};
    return o;
  }
};

// The lines the port's model of the screen holds, as the display's snapshot writes them.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> ModelLines(SerialPort& port) {
  const displaymodel::DisplayModel screen = port.Screen();
  std::pair<std::vector<uint8_t>, std::vector<uint8_t>> lines;
  for (int32_t col = 1; col <= 20; ++col) {
    lines.first.push_back(screen.At(1, col).ch);
    lines.second.push_back(screen.At(2, col).ch);
  }
  return lines;
}

// No call waits longer than one byte's time-out while the keeper tries a display that does not
// read, and the display shows the port's model of the screen once it reads.
TEST_F(ReplugNotReadingOverPty, CallsStayWithinTheirBoundAndTheContentComesBack) {
  using Clock = std::chrono::steady_clock;
  const auto msSince = [](Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
  };
  Select(1);
  so->ClearText();
  so->SetPropertyNumber(PIDXDisp_MarqueeUnitWait, 100);
  SetMarquee(DISP_MT_INIT);
  so->DisplayTextAt(0, 0, u"Scrolling Text Line 1 ", DISP_DT_NORMAL);
  SetMarquee(DISP_MT_LEFT);
  Select(2);
  so->DisplayTextAt(0, 0, u"second line", DISP_DT_NORMAL);
  ASSERT_TRUE(display.WaitForSnapshot(
      [](const it::Snapshot& s) { return s.line2.rfind("second line", 0) == 0; }, 3000));

  display.Unplug();
  ASSERT_TRUE(display.WaitForSnapshot(
      [](const it::Snapshot& s) { return s.plugged && s.generation == 2; }, 3000));
  const auto plugged = Clock::now();
  // The keeper reopens the port within a round and asks the display who it is; a display that
  // does not read cannot answer, and the port is not taken back.
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  ASSERT_TRUE(module->Port.Dead());

  auto start = Clock::now();
  so->DisplayTextAt(0, 0, u"while held", DISP_DT_NORMAL);
  EXPECT_LT(msSince(start), 1500.0) << "DisplayTextAt";
  Select(1);
  start = Clock::now();
  SetMarquee(DISP_MT_NONE);
  EXPECT_LT(msSince(start), 1500.0) << "MarqueeType 0";
  ASSERT_LT(msSince(plugged), kHoldMs - 200.0) << "the calls took the whole hold";

  // Once the display reads again, it shows what the port's model says within a second.
  std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs) - (Clock::now() - plugged));
  const auto reading = Clock::now();
  const auto model = ModelLines(module->Port);
  EXPECT_TRUE(display.WaitForSnapshot(
      [&](const it::Snapshot& s) {
        return s.line1Bytes == model.first && s.line2Bytes == model.second;
      },
      1000))
      << display.ReadSnapshot().line1 << "|" << display.ReadSnapshot().line2;
  EXPECT_LT(msSince(reading), 1000.0);
  EXPECT_FALSE(module->Port.Dead());
  EXPECT_FALSE(module->Port.RepaintDue());

  start = Clock::now();
  so->CloseService();
  EXPECT_LT(msSince(start), 1500.0) << "CloseService";
  start = Clock::now();
  so.reset();
  module.reset();
  EXPECT_LT(msSince(start), 1500.0) << "the final release";
}

INSTANTIATE_TEST_SUITE_P(WhileIdleWalkingOrBlinking, UnplugOverPty,
                         ::testing::Values(Activity::Idle, Activity::Marquee, Activity::Blink),
                         [](const ::testing::TestParamInfo<Activity>& info) {
                           switch (info.param) {
                             case Activity::Idle:
                               return std::string("Idle");
                             case Activity::Marquee:
                               return std::string("Marquee");
                             default:
                               return std::string("Blink");
                           }
                         });

}  // namespace
}  // namespace kirnow
