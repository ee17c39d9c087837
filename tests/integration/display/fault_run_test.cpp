// A bounded random fault run over a real pseudo-terminal: while text, marquee and blink flips,
// brightness and session calls go on, the display is pulled out, plugged back in reading or
// holding its line, stalled and resumed, and the line now and then fails writes without being
// removed; another device sits where the display was now and then (the port's tty node leads
// to it), and another program holds the store's lock. It fails on a crash, a sanitizer report
// (in the sanitizer builds), a call past its bound, a byte but the identity query reaching the
// other device, or a display that reads again but does not show the port's model of the screen
// within a second. KIRNOW_FAULT_EVENTS sets the number of faults (a longer run by hand),
// KIRNOW_FAULT_SEED the seed.
#include <errno.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "opos/opos_constants.h"
#include "serviceobject/core/posl_display.h"
#include "system_platform.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

using Clock = std::chrono::steady_clock;

// A call waits at most for one byte's time-out of the keeper's repaint and one of its own; an
// OpenService also waits for the display's identification.
constexpr auto kCallBound = std::chrono::milliseconds(4000);
constexpr int kContentBoundMs = 1000;

// The system's serial device with a line that can fail writes without being removed (the byte
// is lost, as after a line error), on the test's word.
class FlakyLine final : public platform::SerialDevice {
 public:
  explicit FlakyLine(platform::SerialDevice& device) : device_(device) {}
  std::atomic<bool> failing{false};

  bool Open(int32_t portNumber, int32_t baud) override { return device_.Open(portNumber, baud); }
  void Close() override { device_.Close(); }
  bool IsOpen() const override { return device_.IsOpen(); }
  WriteResult WriteByte(uint8_t byte) override {
    return failing ? WriteResult::Failed : device_.WriteByte(byte);
  }
  bool ReadyToWrite() override { return device_.ReadyToWrite(); }
  bool Alive() override { return device_.Alive(); }
  int LastError() const override { return failing ? EPROTO : device_.LastError(); }
  int32_t BytesWaiting() override { return device_.BytesWaiting(); }
  int32_t Read(uint8_t* buffer, int32_t count) override { return device_.Read(buffer, count); }

 private:
  platform::SerialDevice& device_;
};

class FaultRun {
 public:
  explicit FaultRun(uint32_t seed) : rng_(seed) {}

  void Run(int events) {
    it::VirtualDisplayOptions options;
    options.extraArgs = {"--reopen-after", "-1"};  // plugged in again on the run's word only
    ASSERT_TRUE(display_.Start(options));
    it::VirtualDisplayOptions other;
    other.identity = "wrong";  // answers the identity query, as some other product
    ASSERT_TRUE(other_.Start(other));
    node_ = display_.Directory() + "/ttyUSB0";
    PointNode(display_.Pty());
    it::TestRegistryFile store;
    store.AddDisplay("JQ POS POLE DISPLAY", 5, node_);
    lockPath_ = store.Path() + ".lock";
    it::SystemPlatform sys;
    FlakyLine line(*sys.serial);
    line_ = &line;
    box_ = &sys.box;
    module_ =
        std::make_unique<ModuleState>(platform::Platform{*sys.registry, line, sys.box, *sys.clock,
                                                         *sys.ansi, *sys.files, *sys.host},
                                      false);
    so_ = std::make_unique<POSLDisplay>(*module_);
    struct Release {  // before the platform it runs on goes, however the run ends
      FaultRun* run;
      ~Release() {
        run->so_.reset();
        run->module_.reset();
      }
    } release{this};
    OpenSession();
    ASSERT_EQ(so_->ResultCode, OPOS_SUCCESS);

    for (int event = 0; event < events && !::testing::Test::HasFailure(); ++event) {
      Fault();
      const auto until = Clock::now() + std::chrono::milliseconds(50 + Pick(400));
      while (Clock::now() < until && !::testing::Test::HasFailure()) Call();
      if (event % 6 == 5) CheckContent();
    }
    CheckContent();
    for (const bool bothLines : {false, true}) WalkingReplug(bothLines);
    ForeignClaim();
    // Once for sure: the display pulled out of an open session, and another device in its place
    // for three of the keeper's rounds.
    Plug(false);
    otherIn_ = true;
    PointNode(other_.Pty());
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    CheckContent();
    Timed("the final release", [&] {
      so_.reset();
      module_.reset();
    });
    for (FILE* holder : holders_) pclose(holder);
    display_.Stop();
    std::printf("fault run: %d faults, %d calls, %d content checks, longest call %.0f ms (%s)\n",
                events, calls_, checks_, longestMs_, longestCall_.c_str());
  }

 private:
  size_t Pick(size_t n) { return static_cast<size_t>(rng_() % n); }

  template <class Body>
  void Timed(const std::string& what, Body body) {
    const auto start = Clock::now();
    body();
    const auto took = Clock::now() - start;
    const double ms = std::chrono::duration<double, std::milli>(took).count();
    if (ms > longestMs_) {
      longestMs_ = ms;
      longestCall_ = what;
    }
    ++calls_;
    EXPECT_LT(took, kCallBound) << what << " after " << calls_ << " calls";
  }

  void OpenSession() {
    Timed("OpenService",
          [&] { so_->OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr); });
    if (so_->ResultCode != OPOS_SUCCESS) return;
    so_->ClaimDevice(1000);
    so_->CreateWindow(0, 0, 1, 20, 1, 20);
    so_->CreateWindow(1, 0, 1, 20, 1, 20);
    open_ = true;
  }

  void Fault() {
    switch (Pick(8)) {
      case 0:  // pulled out, or plugged back in reading
        if (!plugged_) Hold(false);
        Plug(!plugged_);
        break;
      case 1:  // plugged back in holding its line (starting up)
        if (plugged_) break;
        Hold(true);
        Plug(true);
        break;
      case 2:
      case 3:  // stalled, or reading again
        Hold(!held_);
        break;
      case 4:
        line_->failing = !line_->failing;
        break;
      case 6:  // another device where the display was, or gone from there again
        if (plugged_) break;
        otherIn_ = !otherIn_;
        PointNode(otherIn_ ? other_.Pty() : "");
        break;
      case 7:  // another program holds the store's lock for 6 s (longer than a call's bound),
               // and the till opens its device again meanwhile
        holders_.push_back(
            popen(("flock -s " + lockPath_ + " sh -c 'echo; sleep 6'").c_str(), "r"));
        EXPECT_NE(std::fgetc(holders_.back()), EOF) << "the store's lock could not be taken";
        if (!open_ || !plugged_ || held_ || line_->failing) break;
        so_->CloseService();
        open_ = false;
        OpenSession();
        break;
      default:
        break;  // calls only
    }
  }

  // Line 2 alone or both lines walking at unit wait 0 (no wait between frames), the display
  // pulled out for 500 ms: once back, it is asked who it is and repainted within 1.5 s.
  void WalkingReplug(bool bothLines) {
    if (!open_) OpenSession();
    ASSERT_TRUE(open_);
    for (int32_t window = bothLines ? 1 : 2; window <= 2; ++window) {
      Select(window);
      so_->SetPropertyNumber(PIDXDisp_MarqueeUnitWait, 0);
      so_->SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_INIT);
      so_->DisplayTextAt(0, 0, u"walking at unit wait 0", DISP_DT_NORMAL);
      so_->SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_LEFT);
    }
    Plug(false);
    const it::Snapshot gone = display_.ReadSnapshot();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Plug(true);
    EXPECT_TRUE(display_.WaitForSnapshot(
        [&](const it::Snapshot& s) {
          return s.identityReplies > gone.identityReplies &&
                 s.bytesReceived >= gone.bytesReceived + 120;
        },
        1500))
        << (bothLines ? "both lines" : "line 2") << " walking: not asked and repainted";
  }

  // CloseService, the display pulled out and another device on its tty (mapped by hand, so the
  // USB record cannot tell): ClaimDevice fails as a failed open does, and the other device gets
  // nothing but the identity query (CheckContent looks).
  void ForeignClaim() {
    if (open_) so_->CloseService();
    open_ = false;
    Plug(false);
    otherIn_ = true;
    PointNode(other_.Pty());
    Timed("ClaimDevice", [&] { so_->ClaimDevice(1000); });
    EXPECT_EQ(so_->ResultCode, OPOS_E_ILLEGAL);
    EXPECT_EQ(so_->Claimed, 0);
    so_->DisplayText(u"PRICE 12.50", DISP_DT_NORMAL);
  }

  // The tty node the port is mapped to leads to `pty` (nowhere when empty).
  void PointNode(const std::string& pty) {
    std::filesystem::remove(node_);
    if (!pty.empty()) std::filesystem::create_symlink(pty, node_);
  }

  // Pulls the display out or plugs it in (in its place again), and waits until it has done so.
  // Its node goes with it, as a device node does: the pty it led to may be given to another
  // program's display meanwhile, which the keeper would then find there.
  void Plug(bool plugged) {
    if (plugged == plugged_) return;
    display_.Unplug();
    plugged_ = plugged;
    otherIn_ = false;
    PointNode("");
    EXPECT_TRUE(
        display_.WaitForSnapshot([&](const it::Snapshot& s) { return s.plugged == plugged; }, 3000))
        << (plugged ? "plugging in" : "pulling out");
    if (plugged) PointNode(display_.Pty());
  }

  void Hold(bool held) {
    if (held != held_) display_.Hold(held);
    held_ = held;
  }

  std::u16string Text() {
    std::u16string s;
    for (size_t n = Pick(30); n > 0; --n) s.push_back(static_cast<char16_t>(u'A' + Pick(26)));
    return s;
  }

  std::string LastMessage() const {
    const auto shown = box_->Shown();
    return shown.empty() ? "" : shown.back().second + ": " + shown.back().first;
  }

  std::string ModelText() const {
    const displaymodel::DisplayModel model = module_->Port.Screen();
    std::string text;
    for (int32_t row = 1; row <= 2; ++row) {
      for (int32_t col = 1; col <= 20; ++col)
        text.push_back(static_cast<char>(model.At(row, col).ch));
      if (row == 1) text.push_back('|');
    }
    return text;
  }

  void Select(int32_t window) { so_->SetPropertyNumber(PIDXDisp_CurrentWindow, window); }

  void Call() {
    const int32_t window = 1 + static_cast<int32_t>(Pick(2));
    switch (Pick(10)) {
      case 0:
      case 1:
        Timed("DisplayTextAt", [&] {
          Select(window);
          so_->DisplayTextAt(0, 0, Text(), DISP_DT_NORMAL);
        });
        break;
      case 2:
        Timed("DisplayTextAt blinking", [&] {
          Select(window);
          so_->DisplayTextAt(0, 0, Text(), DISP_DT_BLINK);
        });
        break;
      case 3:
        Timed("a marquee start", [&] {
          Select(window);
          so_->SetPropertyNumber(PIDXDisp_MarqueeUnitWait, static_cast<int32_t>(Pick(200)));
          so_->SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_INIT);
          so_->DisplayTextAt(0, 0, Text(), DISP_DT_NORMAL);
          so_->SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_LEFT);
        });
        break;
      case 4:
        Timed("MarqueeType 0", [&] {
          Select(window);
          so_->SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_NONE);
        });
        break;
      case 5:
        Timed("ClearText", [&] { so_->ClearText(); });
        break;
      case 6:
        Timed("DeviceBrightness", [&] {
          so_->SetPropertyNumber(PIDXDisp_DeviceBrightness, static_cast<int32_t>(Pick(101)));
        });
        break;
      case 7:
        if (Pick(8) != 0) break;
        if (open_) {
          Timed("CloseService", [&] { so_->CloseService(); });
          open_ = false;
        } else {
          OpenSession();
        }
        break;
      default:
        std::this_thread::sleep_for(std::chrono::milliseconds(Pick(60)));
        break;
    }
  }

  // With the workers stopped and the line whole, a display that reads again must show the
  // port's model of the screen within a second. The other device has been asked who it is,
  // if at all, and sent nothing else.
  void CheckContent() {
    const std::vector<uint8_t> asked = other_.ReceivedBytes();
    const std::string got(asked.begin(), asked.end());
    ASSERT_EQ(got.find_first_not_of("\x1D\x49\x02"), std::string::npos)
        << "the other device got " << ::testing::PrintToString(got);
    line_->failing = false;
    for (int32_t window : {1, 2}) {
      Timed("MarqueeType 0", [&] {
        Select(window);
        so_->SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_NONE);
      });
    }
    // A command cut short at a stall is dropped by the display after its own 1 s.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    Hold(false);
    Plug(true);
    auto reading = Clock::now();
    if (!open_) {
      OpenSession();  // on a display that reads: it initialises the display itself
      reading = Clock::now();
    }
    EXPECT_TRUE(open_) << "OpenService on a display that reads: ResultCode " << so_->ResultCode
                       << ", last message '" << LastMessage() << "', port opened "
                       << module_->Port.Opened() << " dead " << module_->Port.Dead() << " stalled "
                       << module_->Port.Stalled() << " repaint due " << module_->Port.RepaintDue();
    if (!open_ || !module_->Port.Opened()) return;
    ++checks_;
    bool same = false;
    while (!same && Clock::now() - reading < std::chrono::milliseconds(kContentBoundMs)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const displaymodel::DisplayModel model = module_->Port.Screen();
      display_.RequestSnapshot();
      const it::Snapshot shown = display_.ReadSnapshot();
      same = shown.valid && shown.plugged;
      for (int32_t col = 1; same && col <= 20; ++col) {
        same = shown.line1Bytes.size() == 20 && shown.line2Bytes.size() == 20 &&
               shown.line1Bytes[static_cast<size_t>(col - 1)] == model.At(1, col).ch &&
               shown.line2Bytes[static_cast<size_t>(col - 1)] == model.At(2, col).ch;
      }
    }
    EXPECT_TRUE(same) << "check " << checks_ << ": the display shows '"
                      << display_.ReadSnapshot().line1 << "|" << display_.ReadSnapshot().line2
                      << "', not the port's model '" << ModelText()
                      << "', a second after it reads again (port dead " << module_->Port.Dead()
                      << " stalled " << module_->Port.Stalled() << " repaint due "
                      << module_->Port.RepaintDue() << ")";
  }

  std::mt19937 rng_;
  it::VirtualDisplay display_;
  it::VirtualDisplay other_;    // another device, where the display was while it is away
  std::string node_;            // the tty node the store maps the port to
  std::string lockPath_;        // the store's lock file
  std::vector<FILE*> holders_;  // programs that hold the store's lock
  FlakyLine* line_ = nullptr;
  fakes::RecordingMessageBox* box_ = nullptr;
  std::unique_ptr<ModuleState> module_;
  std::unique_ptr<POSLDisplay> so_;
  bool plugged_ = true, held_ = false, open_ = false, otherIn_ = false;
  int calls_ = 0, checks_ = 0;
  double longestMs_ = 0;
  std::string longestCall_;
};

TEST(FaultRun, CallsStayBoundedAndTheDisplayComesBackShowingTheModel) {
  const char* eventsText = std::getenv("KIRNOW_FAULT_EVENTS");
  const char* seedText = std::getenv("KIRNOW_FAULT_SEED");
  const int events = eventsText ? std::atoi(eventsText) : 36;
  const uint32_t seed = seedText ? static_cast<uint32_t>(std::strtoul(seedText, nullptr, 10)) : 1;
  SCOPED_TRACE("seed " + std::to_string(seed));
  FaultRun(seed).Run(events);
}

}  // namespace
}  // namespace kirnow
