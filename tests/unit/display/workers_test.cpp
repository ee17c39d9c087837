// Marquee and blink workers on the scripted clock: frame contents and timing of each worker,
// switching between the single-line workers and the combined one, the hand-off of the other
// line's text, blinking, and stopping (nothing is written after a control returns).
#include <algorithm>
#include <climits>

#include "kirnow_config.h"
#include "serviceobject/display/display_engine.h"
#include "tests/unit/display/display_fixture.h"

namespace kirnow::testing {
namespace {

const std::u16string kLine1 = u"Scrolling Text Line 1 ";  // 22 characters
const std::string kLine1Ansi = "Scrolling Text Line 1 ";

// What a marquee of `text` shows at position p: columns 1 to 20 of 20 blanks, text, 20 blanks.
std::string MarqueeFrame(const std::string& text, size_t p) {
  const std::string buffer = Blanks() + text + Blanks();
  return buffer.substr(p, 20);
}

class Workers : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    CreateLineWindows();
  }

  std::vector<Frame> FramesSince(size_t from) {
    auto written = fp.serial.WrittenWithTicks();
    written.erase(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(from));
    return Frames(written);
  }
};

TEST_F(Workers, LineOneMarqueeWalksTheTextEveryStepAndRestartsAfterItsLength) {
  StartMarquee(1, kLine1, 100);
  const uint32_t start = fp.clock.Now();
  const size_t mark = fp.serial.WrittenWithTicks().size();
  EXPECT_EQ(Worker(1).ended, 0);
  EXPECT_EQ(Worker(1).scrolling, 1);

  fp.clock.Advance(200 * 44);
  const auto frames = FramesSince(mark);
  ASSERT_EQ(frames.size(), 44u);
  for (size_t k = 0; k < frames.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(frames[k].row, 1);
    EXPECT_EQ(frames[k].tick - start, 200u * (k + 1));  // 100 ms plus the unit wait
    EXPECT_EQ(frames[k].text, MarqueeFrame(kLine1Ansi, k % 42));
  }
  EXPECT_EQ(frames[0].text, Blanks());
  EXPECT_EQ(frames[20].text, kLine1Ansi.substr(0, 20));
  EXPECT_EQ(frames[42].text, Blanks());

  // MarqueeType 5 stops the worker; the last frame stays and nothing more is written.
  SetMarquee(DISP_MT_INIT);
  EXPECT_EQ(Worker(1).ended, 1);
  EXPECT_EQ(Worker(1).scrolling, 0);
  EXPECT_EQ(DisplayWorkers(), 0u);
  const size_t stopped = fp.serial.Written().size();
  fp.clock.Advance(2000);
  EXPECT_EQ(fp.serial.Written().size(), stopped);
}

TEST_F(Workers, LineTwoStepsInTenMillisecondTicks) {
  Select(2);
  SetUnitWait(55);  // five ticks
  so->ClearText();
  SetMarquee(DISP_MT_INIT);
  so->DisplayTextAt(0, 0, u"abc", DISP_DT_NORMAL);
  const size_t mark = fp.serial.WrittenWithTicks().size();
  const uint32_t start = fp.clock.Now();
  SetMarquee(DISP_MT_LEFT);
  fp.clock.Advance(50 * 10);
  const auto frames = FramesSince(mark);
  ASSERT_EQ(frames.size(), 10u);
  for (size_t k = 0; k < frames.size(); ++k) {
    EXPECT_EQ(frames[k].row, 2);
    EXPECT_EQ(frames[k].tick - start, 50u * (k + 1));
    EXPECT_EQ(frames[k].text, MarqueeFrame("abc", k % 23));
  }
  SetMarquee(DISP_MT_NONE);
  EXPECT_EQ(Worker(2).ended, 1);
}

TEST_F(Workers, SecondLineSwitchesToTheCombinedWorkerAndBack) {
  StartMarquee(1, u"upper", 100);
  fp.clock.Advance(1000);
  ASSERT_EQ(Worker(1).ended, 0);

  // Combined step: max(100, 155) truncated to 150 ms. (ClearText would empty line 1 too.)
  StartMarquee(2, u"lower", 155, false);
  EXPECT_EQ(Worker(1).ended, 1);
  EXPECT_EQ(Worker(1).keepRunning, 0);
  EXPECT_EQ(Worker(1).scrolling, 0);
  EXPECT_EQ(Worker(3).started, 1);
  EXPECT_EQ(Worker(3).ended, 0);
  const size_t mark = fp.serial.WrittenWithTicks().size();
  const uint32_t start = fp.clock.Now();
  fp.clock.Advance(150 * 6);
  const auto frames = FramesSince(mark);
  ASSERT_EQ(frames.size(), 12u);
  for (size_t k = 0; k < 6; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(frames[2 * k].row, 1);
    EXPECT_EQ(frames[2 * k + 1].row, 2);
    EXPECT_EQ(frames[2 * k].tick - start, 150u * (k + 1));
    EXPECT_EQ(frames[2 * k].text, MarqueeFrame("upper", k));
    EXPECT_EQ(frames[2 * k + 1].text, MarqueeFrame("lower", k));
  }

  // Stopping in window 2 stops the combined worker.
  SetMarquee(DISP_MT_INIT);
  EXPECT_EQ(Worker(3).ended, 1);
  EXPECT_EQ(Worker(3).started, 0);
  EXPECT_EQ(DisplayWorkers(), 0u);

  // Window 1 walks alone again with its single-line worker.
  StartMarquee(1, u"again", 100);
  EXPECT_EQ(Worker(1).ended, 0);
  EXPECT_EQ(Worker(3).ended, 1);
  const size_t again = fp.serial.WrittenWithTicks().size();
  fp.clock.Advance(600);
  for (const Frame& f : FramesSince(again)) EXPECT_EQ(f.row, 1);
}

TEST_F(Workers, CombinedWorkerIsStoppedEvenAfterARepeatedStartRequest) {
  StartMarquee(1, u"upper", 100);
  StartMarquee(2, u"lower", 100);
  ASSERT_EQ(Worker(3).ended, 0);
  // A repeated request on line 2 clears the started flag of the running combined worker.
  SetMarquee(DISP_MT_LEFT);
  EXPECT_EQ(Worker(3).started, 0);
  EXPECT_EQ(DisplayWorkers(), 1u);
  SetMarquee(DISP_MT_NONE);
  EXPECT_EQ(Worker(3).ended, 1);
  EXPECT_EQ(DisplayWorkers(), 0u);
  // A line-1 request while the combined worker runs never adds a second worker for line 1.
  StartMarquee(1, u"upper", 100);
  StartMarquee(2, u"lower", 100);
  Select(1);
  SetMarquee(DISP_MT_LEFT);
  EXPECT_EQ(DisplayWorkers(), 1u);
  EXPECT_EQ(Worker(1).keepRunning, 0);
}

TEST_F(Workers, AStoppedLineStaysStillWhenTheOtherLineStarts) {
  // Line 2 walks alone, then is stopped; its last frame stays on the display.
  StartMarquee(2, u"lower", 50);
  fp.clock.Advance(500);
  SetMarquee(DISP_MT_NONE);
  ASSERT_EQ(DisplayWorkers(), 0u);

  // Line 1 then walks alone with its own worker at 100 ms + its unit wait, and line 2 gets
  // nothing: no frame, and no NUL from a buffer the stop left empty.
  StartMarquee(1, u"upper", 100, false);
  EXPECT_EQ(Worker(3).ended, 1);
  EXPECT_EQ(Worker(1).ended, 0);
  const size_t mark = fp.serial.WrittenWithTicks().size();
  const uint32_t start = fp.clock.Now();
  fp.clock.Advance(200 * 5);
  const auto frames = FramesSince(mark);
  ASSERT_EQ(frames.size(), 5u);
  for (size_t k = 0; k < frames.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(frames[k].row, 1);
    EXPECT_EQ(frames[k].tick - start, 200u * (k + 1));
  }
  for (const Frame& f : FramesSince(0)) {
    EXPECT_EQ(f.text.find('\0'), std::string::npos) << "row " << f.row << " at " << f.tick;
  }
}

TEST_F(Workers, AStoppedBlinkDoesNotTakeItsLineIntoTheOtherLinesMarquee) {
  // The test utility's Blink on line 1, then its Scrolling Text Line 2, which first runs the
  // stop sequence on line 1 (MarqueeType 5, 0, ClearText).
  Select(2);
  SetUnitWait(50);
  Select(1);
  so->ClearText();
  SetMarquee(DISP_MT_INIT);
  so->DisplayTextAt(1, 1, u"  !!! Blinking !!! ", DISP_DT_BLINK);
  fp.clock.Advance(1000);
  SetMarquee(DISP_MT_INIT);
  SetMarquee(DISP_MT_NONE);
  so->ClearText();
  EXPECT_EQ(Flags().blink[0], 0);
  const size_t stopped = fp.serial.WrittenWithTicks().size();

  // Line 2 walks with its own worker at its own 50 ms; line 1 gets nothing more.
  Select(2);
  so->ClearText();
  SetMarquee(DISP_MT_INIT);
  so->DisplayTextAt(0, 0, u"<<< Scrolling Text Line 2 >>> ...", DISP_DT_NORMAL);
  const size_t mark = fp.serial.WrittenWithTicks().size();
  const uint32_t start = fp.clock.Now();
  SetMarquee(DISP_MT_LEFT);
  EXPECT_EQ(Worker(3).ended, 1);
  EXPECT_EQ(Worker(2).ended, 0);
  fp.clock.Advance(50 * 8);
  const auto frames = FramesSince(mark);
  ASSERT_EQ(frames.size(), 8u);
  for (size_t k = 0; k < frames.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(frames[k].row, 2);
    EXPECT_EQ(frames[k].tick - start, 50u * (k + 1));
  }
  for (const Frame& f : FramesSince(stopped)) EXPECT_NE(f.row, 1) << "at " << f.tick;
}

TEST_F(Workers, AStalledDisplayCostsOneTimeOutAndFramesComeBackWholeWhenItReadsAgain) {
  StartMarquee(1, u"walking", 0);
  fp.clock.Advance(500);
  // The display stops reading: the frame being sent loses the rest of its bytes at once, and
  // the frames and commands after it are dropped without waiting at all.
  fp.serial.SetStalled(true);
  fp.clock.Advance(1000);
  so->DisplayTextAt(1, 0, u"caller's text", DISP_DT_NORMAL);
  so->SetPropertyNumber(PIDXDisp_DeviceBrightness, 50);
  EXPECT_EQ(fp.serial.TimedOutWrites(), 1) << "one byte waited its time-out, none after it";
  EXPECT_TRUE(module->Port.Stalled());

  // Reading again: the next frames go out whole.
  fp.serial.SetStalled(false);
  const size_t mark = fp.serial.WrittenWithTicks().size();
  fp.clock.Advance(1000);
  EXPECT_FALSE(module->Port.Stalled());
  const auto frames = FramesSince(mark);
  ASSERT_GE(frames.size(), 3u);
  for (const Frame& f : frames) EXPECT_EQ(f.text.size(), 20u) << f.tick;
}

TEST_F(Workers, AfterAnUnplugThePortReconnectsByItselfAndRepaintsTheScreen) {
  fp.serial.SetIdentity(fakes::RecordingSerialDevice::IdentityMode::Answer, KIRNOW_USB_PID);
  so->DisplayTextAt(1, 0, u"lower line", DISP_DT_NORMAL);
  StartMarquee(1, u"walking", 0, false);
  fp.clock.Advance(500);

  // Pulled out: the next frame's write fails; calls go on returning, nothing is sent.
  fp.serial.SetUnplugged(true);
  fp.clock.Advance(300);
  ASSERT_TRUE(module->Port.Dead());
  EXPECT_EQ(module->Port.DeathError(), 5);
  fp.clock.Advance(2000);
  EXPECT_TRUE(module->Port.Dead());
  const int opensWhileAway = fp.serial.openCount;

  // Plugged in again: reopened within the poll interval, asked who it is, initialised and
  // repainted, and the marquee's frames go on.
  fp.serial.SetUnplugged(false);
  fp.serial.ClearWritten();
  fp.clock.Advance(600);
  EXPECT_FALSE(module->Port.Dead());
  EXPECT_EQ(fp.serial.openCount, opensWhileAway + 1);
  const Bytes written = fp.serial.Written();
  const std::string text(written.begin(), written.end());
  EXPECT_EQ(text.rfind("\x1D\x49\x02\x1B\x40", 0), 0u) << text;
  // The repaint shows the lower line as it was, then the marquee's frames follow.
  EXPECT_NE(text.find(std::string("\x1F\x24\x01\x02") + "lower line" + Blanks(10)),
            std::string::npos)
      << text;
  const auto frames = FramesOfRow(FramesSince(0), 1);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.back().text.size(), 20u);
}

// A walk at unit wait 0 on a dead port: each frame costs its wire time (24 bytes at 9600 baud,
// 25 ms), so the walk moves as it would on the wire and the worker never spins; the display
// plugged back in is asked, initialised and repainted within one of the keeper's rounds.
TEST_F(Workers, AWalkAtUnitWaitZeroOnADeadPortIsPacedAndTheDisplayIsBackInOneRound) {
  fp.serial.SetIdentity(fakes::RecordingSerialDevice::IdentityMode::Answer, KIRNOW_USB_PID);
  fp.serial.SetUnplugged(true);
  fp.clock.Advance(600);
  ASSERT_TRUE(module->Port.Dead());
  StartMarquee(2, kLine1, 0);
  const auto position = [&] {
    const displaymodel::DisplayModel screen = module->Port.Screen();
    std::string shown;
    for (int32_t col = 1; col <= 20; ++col)
      shown.push_back(static_cast<char>(screen.At(2, col).ch));
    for (size_t p = 0; p < 42; ++p) {
      if (MarqueeFrame(kLine1Ansi, p) == shown) return static_cast<int>(p);
    }
    return -1;
  };
  fp.clock.Advance(110);
  const int before = position();
  fp.clock.Advance(250);
  ASSERT_GE(before, 0);
  EXPECT_NEAR((position() - before + 42) % 42, 10, 1);

  fp.serial.SetUnplugged(false);
  fp.serial.ClearWritten();
  fp.clock.Advance(520);
  EXPECT_FALSE(module->Port.Dead());
  const Bytes written = fp.serial.Written();
  const std::string text(written.begin(), written.end());
  EXPECT_EQ(text.rfind("\x1D\x49\x02\x1B\x40", 0), 0u) << text;
  SetMarquee(DISP_MT_NONE);
}

// A worker that misses its stop bound (its write held past it) is let go with its own state:
// started again, line 1 has one walker (ten frames a second). The stop sleeps between looks.
TEST_F(Workers, AWorkerLetGoPastItsStopBoundNeverWalksBesideTheNextOne) {
  StartMarquee(1, kLine1, 0);
  fp.clock.Advance(500);
  fp.serial.SetWritesHeld(true);
  fp.clock.Advance(100);
  const uint64_t looks = fp.clock.Looks();
  SetMarquee(DISP_MT_INIT);
  EXPECT_LT(fp.clock.Looks() - looks, 2500u) << "the stop looked at the worker without a rest";
  SetMarquee(DISP_MT_LEFT);
  fp.serial.SetWritesHeld(false);
  fp.clock.Advance(100);
  const size_t mark = fp.serial.WrittenWithTicks().size();
  fp.clock.Advance(2000);
  EXPECT_NEAR(double(FramesOfRow(FramesSince(mark), 1).size()), 20.0, 1.0);
}

TEST_F(Workers, HandOffWritesTheOtherLineBetweenFrames) {
  StartMarquee(1, kLine1, 100);
  fp.clock.Advance(300);
  Select(2);
  const size_t mark = fp.serial.WrittenWithTicks().size();
  so->DisplayTextAt(0, 0, u"xyz", DISP_DT_NORMAL);
  EXPECT_EQ(Flags().handOffPending, 1);
  EXPECT_EQ(Line2(), "xyz");
  // The caller itself sent nothing.
  for (const Frame& f : FramesSince(mark)) EXPECT_EQ(f.row, 1);

  fp.clock.Advance(200);
  EXPECT_EQ(Flags().handOffPending, 0);
  const auto frames = FramesSince(mark);
  const auto lower = FramesOfRow(frames, 2);
  ASSERT_EQ(lower.size(), 1u);
  EXPECT_EQ(lower[0].text, "xyz");
  // Every line-1 frame stayed whole.
  for (const Frame& f : FramesOfRow(frames, 1)) EXPECT_EQ(f.text.size(), 20u);
}

TEST_F(Workers, BlinkingLineOneAlternatesTextAndBlanks) {
  Select(1);
  SetUnitWait(0);
  const uint32_t start = fp.clock.Now();
  const size_t mark = fp.serial.WrittenWithTicks().size();
  so->DisplayTextAt(0, 0, u"Hello", DISP_DT_BLINK);
  EXPECT_EQ(Flags().blink[0], 1);
  EXPECT_EQ(Worker(1).ended, 0);
  fp.clock.Advance(350 * 4);
  const auto frames = FramesSince(mark);
  ASSERT_EQ(frames.size(), 4u);
  for (size_t k = 0; k < frames.size(); ++k) {
    EXPECT_EQ(frames[k].tick - start, 350u * (k + 1));
    EXPECT_EQ(frames[k].text, k % 2 == 0 ? "Hello" + Blanks(15) : Blanks());
  }
  SetMarquee(DISP_MT_INIT);
  EXPECT_EQ(Worker(1).ended, 1);
}

TEST_F(Workers, BlinkingBothLinesIsNeverFasterThanAQuarterSecond) {
  Select(1);
  SetUnitWait(0);
  Select(2);
  SetUnitWait(20);
  Select(1);
  so->DisplayTextAt(0, 0, u"top", DISP_DT_BLINK);
  Select(2);
  so->DisplayTextAt(0, 0, u"bottom", DISP_DT_BLINK);
  EXPECT_EQ(Worker(1).ended, 1);
  EXPECT_EQ(Worker(3).ended, 0);
  const size_t mark = fp.serial.WrittenWithTicks().size();
  fp.clock.Advance(2000);
  const auto frames = FramesSince(mark);
  for (const int row : {1, 2}) {
    const auto line = FramesOfRow(frames, row);
    ASSERT_GE(line.size(), 6u);
    for (size_t k = 1; k < line.size(); ++k) {
      EXPECT_GE(line[k].tick - line[k - 1].tick, 250u);
      EXPECT_NE(line[k].text, line[k - 1].text);  // text and blanks alternate
    }
  }

  // While the combined worker blinks, a hand-off is never taken: each waits 500 ms.
  const uint32_t before = fp.clock.Now();
  so->DisplayText(u"one", DISP_DT_NORMAL);
  so->DisplayText(u"two", DISP_DT_NORMAL);
  EXPECT_EQ(Flags().handOffPending, 1);
  EXPECT_GE(fp.clock.Now() - before, 500u);
  EXPECT_EQ(Line2(), "two");
}

TEST_F(Workers, CombinedWorkerPicksUpALaterBlinkAtTheQuarterSecondFloor) {
  StartMarquee(1, u"upper", 50);
  StartMarquee(2, u"lower", 50, false);
  ASSERT_EQ(Worker(3).ended, 0);
  // The combined worker walks both lines every 50 ms; now line 2 blinks as well.
  so->DisplayTextAt(0, 0, u"blink", DISP_DT_BLINK);
  EXPECT_EQ(Flags().blink[1], 1);
  const size_t mark = fp.serial.WrittenWithTicks().size();
  fp.clock.Advance(1500);
  const auto frames = FramesSince(mark);
  for (const int row : {1, 2}) {
    const auto line = FramesOfRow(frames, row);
    ASSERT_GE(line.size(), 4u);
    for (size_t k = 1; k < line.size(); ++k) EXPECT_GE(line[k].tick - line[k - 1].tick, 250u);
  }
  EXPECT_EQ(DisplayWorkers(), 1u);
}

TEST_F(Workers, UnitWaitsOutsideTheBlinkRangeAreClampedAndStopsStayShort) {
  StartMarquee(1, u"neg", -50);  // the step is the fixed 100 ms only
  const size_t mark = fp.serial.WrittenWithTicks().size();
  fp.clock.Advance(300);
  EXPECT_EQ(FramesSince(mark).size(), 3u);
  SetMarquee(DISP_MT_INIT);

  // A very long unit wait does not hold a stop for the whole wait.
  StartMarquee(1, u"slow", 600000);
  fp.clock.Advance(5000);
  const uint32_t before = fp.clock.Now();
  SetMarquee(DISP_MT_INIT);
  EXPECT_LT(fp.clock.Now() - before, 2000u);
  EXPECT_EQ(DisplayWorkers(), 0u);

  // Blink phase with a unit wait above 250: no negative sleep, one step is 100 + U.
  Select(1);
  SetUnitWait(400);
  const uint32_t start = fp.clock.Now();
  const size_t blinkMark = fp.serial.WrittenWithTicks().size();
  so->DisplayTextAt(0, 0, u"B", DISP_DT_BLINK);
  fp.clock.Advance(1000);
  const auto frames = FramesSince(blinkMark);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].tick - start, 500u);
}

TEST_F(Workers, ClearTextWhileWalkingEmptiesTheFramesWithoutTearingThem) {
  StartMarquee(1, kLine1, 0);
  fp.clock.Advance(2200);
  SetMarquee(DISP_MT_LEFT);  // keeps running; ClearText now sends nothing
  so->MarqueeType = DISP_MT_LEFT;
  const size_t mark = fp.serial.WrittenWithTicks().size();
  so->ClearText();
  EXPECT_EQ(fp.serial.WrittenWithTicks().size(), mark);
  fp.clock.Advance(300);
  const auto frames = FramesSince(mark);
  ASSERT_FALSE(frames.empty());
  // The emptied scroll buffer shows as blanks: a NUL is no character for the display.
  EXPECT_EQ(frames.back().text, Blanks());
}

TEST_F(Workers, ReleasingTheModuleStopsEveryWorker) {
  StartMarquee(1, u"upper", 100);
  Select(2);
  so->DisplayTextAt(0, 0, u"bottom", DISP_DT_BLINK);
  fp.clock.Advance(500);
  EXPECT_GE(DisplayWorkers(), 1u);
  so.reset();
  module.reset();
  EXPECT_EQ(fp.clock.LiveWorkers(), 0u);
}

TEST_F(Workers, PreciseTimingIsHeldOnlyWhileAWorkerRuns) {
  // On Windows the first holder raises the timer resolution and the last releases it.
  EXPECT_EQ(fp.clock.PreciseHolders(), 0);
  StartMarquee(1, kLine1, 100);
  fp.clock.Advance(50);
  EXPECT_EQ(fp.clock.PreciseHolders(), 1);
  StartMarquee(2, kLine1, 100);  // line 2 joins: the combined worker takes over both
  fp.clock.Advance(50);
  EXPECT_EQ(fp.clock.PreciseHolders(), 1);
  Select(1);
  SetMarquee(DISP_MT_INIT);
  Select(2);
  SetMarquee(DISP_MT_INIT);
  EXPECT_EQ(DisplayWorkers(), 0u);
  EXPECT_EQ(fp.clock.PreciseHolders(), 0);
  const int begins = fp.clock.PreciseBegins();
  EXPECT_GE(begins, 2);

  // Idle, and text output without a worker, hold nothing.
  so->DisplayText(u"idle", DISP_DT_NORMAL);
  fp.clock.Advance(1000);
  EXPECT_EQ(fp.clock.PreciseHolders(), 0);
  EXPECT_EQ(fp.clock.PreciseBegins(), begins);

  // A blink worker holds it too, until the module stops its workers.
  Select(1);
  so->DisplayTextAt(0, 0, u"blink", DISP_DT_BLINK);
  fp.clock.Advance(50);
  EXPECT_EQ(fp.clock.PreciseHolders(), 1);
  kirnow::StopAllWorkers(*module);
  EXPECT_EQ(fp.clock.PreciseHolders(), 0);
}

}  // namespace
}  // namespace kirnow::testing
