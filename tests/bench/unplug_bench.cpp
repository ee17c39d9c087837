// A display that stalls or is pulled out, measured against the virtual pole display: the
// longest call while the display has stopped reading (with a marquee running), the time from a
// re-plug until the display shows its content again (median and maximum over 20 re-plugs, with
// output sent while it was out and with none), a display plugged back in that does not read
// for its first seconds (the longest call and CloseService meanwhile, and the time from its
// reading again to its content shown), and the CPU the library uses while the display stays
// unplugged, and the CPU and time one OpenService costs (its identification waits 500 ms on the
// tick counter). Prints figures beside their targets; fails nothing.
//
//   kirnow_bench_unplug [REPLUGS]
//
// Needs KIRNOW_BIN_DIR (where vpoledisplay is) as the integration tests do.
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "opos/opos_constants.h"
#include "platform/platform.h"
#include "serviceobject/core/posl_display.h"
#include "system_platform.h"
#include "tests/fakes/recording_message_box.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

using Steady = std::chrono::steady_clock;

using it::SystemPlatform;

using it::CpuSeconds;

double MsSince(Steady::time_point start) {
  return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

double Timed(const std::function<void()>& call) {
  const auto start = Steady::now();
  call();
  return MsSince(start);
}

const std::string kLine1 = "first line" + std::string(10, ' ');
const std::string kLine2 = "   second line" + std::string(6, ' ');

void ShowTwoLines(POSLDisplay& so) {
  so.ClearText();
  so.DisplayTextAt(0, 0, u"first line", DISP_DT_NORMAL);
  so.DisplayTextAt(1, 3, u"second line", DISP_DT_NORMAL);
}

// A service object with an open session on its own virtual display, on COM<comNumber>.
struct BenchSession {
  explicit BenchSession(int32_t comNumber, it::VirtualDisplayOptions options = {}) {
    ok = display.Start(options);
    if (!ok) return;
    store.AddDisplay("JQ POS POLE DISPLAY", comNumber, display.LinkPath());
    so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
  }
  it::VirtualDisplay display;
  it::TestRegistryFile store;
  SystemPlatform sys;
  ModuleState module{sys.Get(), false};
  POSLDisplay so{module};
  bool ok = false;
};

// The calls that used to wait for a stalled marquee frame byte by byte.
void StuckDisplay() {
  BenchSession b(3);
  if (!b.ok) return;
  it::VirtualDisplay& display = b.display;
  ModuleState& module = b.module;
  POSLDisplay& so = b.so;
  so.CreateWindow(0, 0, 1, 20, 1, 40);
  so.SetPropertyNumber(PIDXDisp_MarqueeUnitWait, 0);
  so.DisplayText(u"a marquee on a display that stops", DISP_DT_NORMAL);
  so.SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_LEFT);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  // The display stops reading; enough output follows to fill the line.
  kill(display.ProcessId(), SIGSTOP);
  const std::vector<uint8_t> junk(1 << 16, ' ');
  struct Row {
    const char* name;
    double ms;
  };
  std::vector<Row> rows;
  rows.push_back({"64 KiB of output that meets the stop", Timed([&] {
                    module.Port.SendData(junk.data(), static_cast<int32_t>(junk.size()));
                  })});
  rows.push_back({"SetPropertyNumber(DeviceBrightness)",
                  Timed([&] { so.SetPropertyNumber(PIDXDisp_DeviceBrightness, 50); })});
  int32_t c = 0;
  rows.push_back({"ReadCharacterAtCursor", Timed([&] { so.ReadCharacterAtCursor(&c); })});
  rows.push_back(
      {"DisplayText (20 characters)", Timed([&] { so.DisplayText(u"twenty characters...", 0); })});
  rows.push_back({"SetPropertyNumber(MarqueeType 0)",
                  Timed([&] { so.SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_NONE); })});
  rows.push_back({"CloseService", Timed([&] { so.CloseService(); })});
  kill(display.ProcessId(), SIGCONT);
  // The output that meets the stop waits one time-out of its own, on top of its writing; no
  // call after it may wait for the stopped display.
  std::printf(
      "Stuck display (it stopped reading while a marquee ran), target: one byte "
      "time-out (1000 ms) for the output that meets the stop, none above it after\n");
  double longest = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    std::printf("  %-40s %8.1f ms\n", rows[i].name, rows[i].ms);
    if (i > 0) longest = std::max(longest, rows[i].ms);
  }
  std::printf("  %-40s %8.1f ms  %s\n", "longest call after it", longest,
              rows[0].ms <= 1200 && longest <= 1000 ? "meets" : "MISSES");
}

// From the display's re-plug to its content on the screen again; `poke`: a line of output is
// sent while the display is out (it finds the port dead), else nothing is sent meanwhile.
void Replugs(int count, bool poke) {
  BenchSession b(4);
  if (!b.ok) return;
  it::VirtualDisplay& display = b.display;
  POSLDisplay& so = b.so;
  ShowTwoLines(so);
  std::vector<double> back;
  std::mt19937 random(20261208u);
  std::uniform_int_distribution<int> phase(0, 499);
  int32_t generation = display.ReadSnapshot().generation;
  for (int i = 0; i < count; ++i) {
    display.WaitForSnapshot(
        [](const it::Snapshot& s) { return s.line1 == kLine1 && s.line2 == kLine2; }, 3000);
    // At a random point of the port's 500 ms rounds, as a hand pulling the cable would be.
    std::this_thread::sleep_for(std::chrono::milliseconds(phase(random)));
    display.Unplug();  // plugs itself in again 500 ms later
    display.WaitForSnapshot([](const it::Snapshot& s) { return !s.plugged; }, 2000);
    if (poke) so.DisplayTextAt(1, 3, u"second line", DISP_DT_NORMAL);
    ++generation;
    const int32_t want = generation;
    display.WaitForSnapshot(
        [want](const it::Snapshot& s) { return s.plugged && s.generation >= want; }, 3000);
    const auto plugged = Steady::now();
    if (display.WaitForSnapshot(
            [](const it::Snapshot& s) { return s.line1 == kLine1 && s.line2 == kLine2; }, 3000)) {
      back.push_back(MsSince(plugged));
    }
  }
  so.CloseService();
  std::sort(back.begin(), back.end());
  std::printf("Re-plug to content shown again, %s, %zu of %d re-plugs, target: within 1000 ms\n",
              poke ? "output sent while out" : "idle", back.size(), count);
  if (back.empty()) return;
  const double median = back[back.size() / 2];
  const double max = back.back();
  std::printf("  median %8.1f ms\n  max    %8.1f ms  %s\n", median, max,
              max <= 1000 && static_cast<int>(back.size()) == count ? "meets" : "MISSES");
}

// A display plugged back in that holds its line for 2 s (still starting up): the calls made
// meanwhile, CloseService on such a display, and the time from its reading again until it
// shows its content.
void ReplugNotReading(int count) {
  it::VirtualDisplayOptions options;
  options.extraArgs = {"--reopen-after", "-1"};
  BenchSession b(6, options);
  if (!b.ok) return;
  it::VirtualDisplay& display = b.display;
  POSLDisplay& so = b.so;
  const auto shown = [](const it::Snapshot& s) { return s.line1 == kLine1 && s.line2 == kLine2; };
  // Out, then in again holding its line.
  const auto replugHeld = [&] {
    display.Unplug();
    display.WaitForSnapshot([](const it::Snapshot& s) { return !s.plugged; }, 2000);
    display.Hold(true);
    display.Unplug();
    display.WaitForSnapshot([](const it::Snapshot& s) { return s.plugged; }, 2000);
  };
  double longestCall = 0, longestClose = 0;
  std::vector<double> back;
  for (int i = 0; i < count; ++i) {
    ShowTwoLines(so);
    display.WaitForSnapshot(shown, 3000);
    replugHeld();
    const auto held = Steady::now();
    while (MsSince(held) < 2000) {
      longestCall = std::max(
          longestCall, Timed([&] { so.DisplayTextAt(1, 3, u"second line", DISP_DT_NORMAL); }));
      longestCall = std::max(
          longestCall, Timed([&] { so.SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_NONE); }));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    display.Hold(false);
    const auto reading = Steady::now();
    if (display.WaitForSnapshot(shown, 3000)) back.push_back(MsSince(reading));

    // CloseService while such a display has not read yet; then a fresh session.
    replugHeld();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // the keeper met the hold
    longestClose = std::max(longestClose, Timed([&] { so.CloseService(); }));
    display.Hold(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
  }
  so.CloseService();
  std::sort(back.begin(), back.end());
  std::printf(
      "Re-plug of a display that holds its line for 2 s, %d times, target: no call above "
      "1500 ms, content within 1000 ms of its reading\n",
      count);
  std::printf("  longest call while held     %8.1f ms  %s\n", longestCall,
              longestCall <= 1500 ? "meets" : "MISSES");
  std::printf("  longest CloseService        %8.1f ms  %s\n", longestClose,
              longestClose <= 1500 ? "meets" : "MISSES");
  if (back.empty()) {
    std::printf("  the content never came back  MISSES\n");
    return;
  }
  const bool all = static_cast<int>(back.size()) == count;
  std::printf("  reading to content, median  %8.1f ms\n", back[back.size() / 2]);
  std::printf("  reading to content, max     %8.1f ms  %s\n", back.back(),
              back.back() <= 1000 && all ? "meets" : "MISSES");
}

// What one OpenService costs: the wall time it holds the caller (the identification's waits)
// and the CPU it uses meanwhile.
void OpenServiceCost(int count) {
  it::VirtualDisplay display;
  if (!display.Start({})) return;
  it::TestRegistryFile store;
  store.AddDisplay("JQ POS POLE DISPLAY", 6, display.LinkPath());
  SystemPlatform sys;
  ModuleState module{sys.Get(), false};
  double cpuMax = 0, cpuSum = 0, wallMax = 0;
  for (int i = 0; i < count; ++i) {
    POSLDisplay so{module};
    const double cpu0 = CpuSeconds();
    const double wall =
        Timed([&] { so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr); });
    const double cpu = (CpuSeconds() - cpu0) * 1000.0;
    cpuMax = std::max(cpuMax, cpu);
    cpuSum += cpu;
    wallMax = std::max(wallMax, wall);
    so.CloseService();
  }
  std::printf(
      "OpenService with identification (%d runs), target: under 10 ms of CPU each\n"
      "  CPU mean %8.1f ms, max %8.1f ms; longest call %8.1f ms  %s\n",
      count, cpuSum / count, cpuMax, wallMax, cpuMax < 10 ? "meets" : "MISSES");
}

// A marquee at unit wait 0 (line 2 alone, or both lines) while the display is pulled out for
// 500 ms: the time from its return until it has been asked who it is and has its content again
// (the repaint's bytes and the next frames), and the CPU the process takes while it is out.
void ReplugsWalkingAtUnitWaitZero(int count, bool bothLines) {
  BenchSession b(6);
  if (!b.ok) return;
  it::VirtualDisplay& display = b.display;
  POSLDisplay& so = b.so;
  so.CreateWindow(0, 0, 1, 20, 1, 20);
  so.CreateWindow(1, 0, 1, 20, 1, 20);
  for (int32_t window = bothLines ? 1 : 2; window <= 2; ++window) {
    so.SetPropertyNumber(PIDXDisp_CurrentWindow, window);
    so.SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_INIT);
    so.DisplayTextAt(0, 0, u"walking at unit wait 0", DISP_DT_NORMAL);
    so.SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_LEFT);
  }
  std::vector<double> back;
  double cpuShareMax = 0;
  for (int i = 0; i < count; ++i) {
    const int32_t generation = display.ReadSnapshot().generation;
    display.Unplug();  // plugs itself in again 500 ms later
    display.WaitForSnapshot([](const it::Snapshot& s) { return !s.plugged; }, 2000);
    const it::Snapshot gone = display.ReadSnapshot();
    const double cpu0 = CpuSeconds();
    const auto out = Steady::now();
    display.WaitForSnapshot(
        [&](const it::Snapshot& s) { return s.plugged && s.generation > generation; }, 3000);
    cpuShareMax = std::max(cpuShareMax, (CpuSeconds() - cpu0) / (MsSince(out) / 1000.0) * 100.0);
    const auto plugged = Steady::now();
    if (display.WaitForSnapshot(
            [&](const it::Snapshot& s) {
              return s.identityReplies > gone.identityReplies &&
                     s.bytesReceived >= gone.bytesReceived + 120;
            },
            15000)) {
      back.push_back(MsSince(plugged));
    }
  }
  for (int32_t window = 1; window <= 2; ++window) {
    so.SetPropertyNumber(PIDXDisp_CurrentWindow, window);
    so.SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_NONE);
  }
  so.CloseService();
  std::sort(back.begin(), back.end());
  std::printf(
      "Re-plug after 500 ms out, %s walking at unit wait 0, %zu of %d re-plugs, target: asked "
      "and repainted within 1500 ms, under 30 %% of a core while out\n",
      bothLines ? "both lines" : "line 2", back.size(), count);
  if (!back.empty()) {
    std::printf("  median %8.1f ms\n  max    %8.1f ms  %s\n", back[back.size() / 2], back.back(),
                back.back() <= 1500 && static_cast<int>(back.size()) == count ? "meets" : "MISSES");
  }
  std::printf("  CPU while out, max %6.1f %%  %s\n", cpuShareMax,
              cpuShareMax < 30 ? "meets" : "MISSES");
}

// CPU while the display stays out, the port trying to reopen it.
void Unplugged() {
  it::VirtualDisplayOptions options;
  options.extraArgs = {"--reopen-after", "-1"};
  BenchSession b(5, options);
  if (!b.ok) return;
  it::VirtualDisplay& display = b.display;
  POSLDisplay& so = b.so;
  ShowTwoLines(so);
  display.Unplug();
  display.WaitForSnapshot([](const it::Snapshot& s) { return !s.plugged; }, 2000);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // the keeper has noticed
  const double cpu0 = CpuSeconds();
  const auto start = Steady::now();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const double share = (CpuSeconds() - cpu0) / (MsSince(start) / 1000.0) * 100.0;
  std::printf(
      "CPU while unplugged (5 s, reopening every 500 ms), target: below 0.5 %% of a "
      "core\n  %8.3f %%  %s\n",
      share, share < 0.5 ? "meets" : "MISSES");
  display.Unplug();  // in again, so that the close below finds it
  so.CloseService();
}

}  // namespace
}  // namespace kirnow

int main(int argc, char** argv) {
  const int replugs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  kirnow::OpenServiceCost(5);
  kirnow::StuckDisplay();
  kirnow::Replugs(replugs, true);
  kirnow::Replugs(replugs, false);
  kirnow::ReplugNotReading(std::max(1, replugs / 4));
  kirnow::ReplugsWalkingAtUnitWaitZero(std::max(1, replugs / 2), false);
  kirnow::ReplugsWalkingAtUnitWaitZero(std::max(1, replugs / 2), true);
  kirnow::Unplugged();
  return 0;
}
