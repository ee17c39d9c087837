// Marquee and blink timing, CPU load and text latency of the display engine against the virtual
// pole display over a pseudo-terminal, on the real Linux clock and on the simulated Windows
// timer (15.625 ms ticks): pacing on the tick counter and Sleep as the workers used to, and on
// the precise counter with a high-resolution waitable timer or a raised timer resolution. Each
// clock runs idle and under load (two busy processes per core); the Linux clock and the
// high-resolution timer run again with the field trace on, which must hold the same targets.
// Prints figures and their targets; it fails nothing.
//
//   kirnow_bench_marquee [seconds per marquee run, default 10] [--trace-only]
//   kirnow_bench_marquee --analyze LOG ROW NOMINAL P99TARGET CPU LABEL
//       one row of figures from a virtual display's byte log (the Windows build's run under
//       Wine, tests/bench/wine-bench.sh), with the CPU share the run measured
//
// Needs KIRNOW_BIN_DIR (where vpoledisplay is) as the integration tests do.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "opos/opos_constants.h"
#include "platform/platform.h"
#include "serviceobject/core/posl_display.h"
#include "system_platform.h"
#include "tests/fakes/recording_message_box.h"
#include "tests/fakes/simulated_windows_clock.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

using Steady = std::chrono::steady_clock;

using it::SystemPlatform;

using it::CpuSeconds;

// Arrival times (display clock, ms) of the worker frames of `row`: a move to column 1 followed
// by 20 characters, received at or after `fromByte`.
std::vector<double> FrameTimes(const std::vector<std::pair<double, uint8_t>>& bytes,
                               size_t fromByte, int row) {
  std::vector<double> times;
  for (size_t i = fromByte; i + 3 < bytes.size(); ++i) {
    if (bytes[i].second != 0x1F || bytes[i + 1].second != 0x24 || bytes[i + 2].second != 0x01)
      continue;
    size_t j = i + 4;
    while (j < bytes.size() && j < i + 24 && bytes[j].second != 0x1F) ++j;
    if (bytes[i + 3].second == row && j == i + 24) times.push_back(bytes[i].first);
    i = j - 1;
  }
  return times;
}

struct StepFigures {
  size_t steps = 0;
  double meanMs = 0;
  double p99DeviationMs = 0;
  double minMs = 0;
  double cpuPercent = 0;
};

StepFigures Steps(const std::vector<double>& times, double nominal) {
  StepFigures f;
  if (times.size() < 4) return f;
  std::vector<double> deviations;
  // The first step after a start is left out: it begins at the start request, not at a frame.
  // So is the last: line 2's worker cuts its tick wait short when it is stopped and still sends
  // that step's frame, which measures the stop request rather than the pacing.
  const size_t last = times.size() - 1;
  for (size_t k = 2; k < last; ++k)
    deviations.push_back(std::fabs(times[k] - times[k - 1] - nominal));
  f.steps = deviations.size();
  f.meanMs = (times[last - 1] - times[1]) / double(last - 2);
  f.minMs = 1e9;
  for (size_t k = 2; k < last; ++k) f.minMs = std::min(f.minMs, times[k] - times[k - 1]);
  std::sort(deviations.begin(), deviations.end());
  f.p99DeviationMs = deviations[std::min(
      deviations.size() - 1, static_cast<size_t>(std::ceil(0.99 * double(deviations.size()))) - 1)];
  return f;
}

void Print(const std::string& what, const StepFigures& f, double nominal, double p99Target) {
  const double meanDeviation = 100.0 * (f.meanMs - nominal) / nominal;
  std::printf(
      "%-44s steps %4zu  mean %8.3f ms of %3.0f (%+6.2f %%; target within 1 %%)  "
      "p99 |dev| %6.3f ms (target < %.0f)  shortest %7.3f  CPU %5.3f %% (target < 0.5)\n",
      what.c_str(), f.steps, f.meanMs, nominal, meanDeviation, f.p99DeviationMs, p99Target, f.minMs,
      f.cpuPercent);
}

// Two busy processes per core for as long as it lives.
class Load {
 public:
  Load() {
    const long cores = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
    for (long i = 0; i < 2 * cores; ++i) {
      const pid_t pid = fork();
      if (pid == 0) {
        volatile unsigned long spin = 0;
        while (true) spin = spin + 1;
      }
      if (pid > 0) children_.push_back(pid);
    }
  }
  ~Load() {
    for (pid_t pid : children_) kill(pid, SIGKILL);
    for (pid_t pid : children_) waitpid(pid, nullptr, 0);
  }
  Load(const Load&) = delete;
  Load& operator=(const Load&) = delete;

 private:
  std::vector<pid_t> children_;
};

// Where the trace rows' files go while the program runs.
std::string TraceFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/kirnow-bench-trace-XXXXXX";
    return std::string(mkdtemp(pattern) != nullptr ? pattern : "/tmp");
  }();
  return folder;
}

class Bench {
 public:
  // `traced`: with the field trace on, into TraceFolder().
  bool Start(std::unique_ptr<platform::Clock> clock, bool traced = false) {
    if (!display_.Start()) return false;
    // The virtual display stands in for a device with a processor of its own: where the
    // process may (root), it reads and stamps the bytes ahead of the load, so that the figures
    // measure when the frames were sent rather than when a loaded machine got round to reading.
    setpriority(PRIO_PROCESS, static_cast<id_t>(display_.ProcessId()), -10);
    store_ = std::make_unique<it::TestRegistryFile>();
    store_->AddDisplay("JQ POS POLE DISPLAY", 5, display_.LinkPath());
    if (traced) {
      const std::string entry =
          "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS POLE "
          "DISPLAY";
      store_->SetString(entry, "Trace", "1");
      store_->SetString(entry, "TraceFolder", TraceFolder());
      store_->Write();
    }
    sys_ = std::make_unique<SystemPlatform>(std::move(clock));
    module_ = std::make_unique<ModuleState>(sys_->Get(), false);
    so_ = std::make_unique<POSLDisplay>(*module_);
    so_->OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
    if (so_->ResultCode != OPOS_SUCCESS) return false;
    so_->ClaimDevice(1000);
    so_->CreateWindow(0, 0, 1, 20, 1, 20);
    so_->CreateWindow(1, 0, 1, 20, 1, 20);
    return true;
  }

  ~Bench() {
    so_.reset();
    module_.reset();
    display_.Stop();
  }

  void Select(int32_t window) { so_->SetPropertyNumber(PIDXDisp_CurrentWindow, window); }
  // A blinking text on a line (the blink worker), stopped by MarqueeType 5 like a marquee.
  void Blink(int32_t window, const std::u16string& text) {
    Select(window);
    so_->DisplayTextAt(0, 0, text, DISP_DT_BLINK);
  }
  void Marquee(int32_t type) { so_->SetPropertyNumber(PIDXDisp_MarqueeType, type); }

  // Prepares the marquee text of a window (MarqueeType 5, text) with its unit wait.
  void Prepare(int32_t window, const std::u16string& text, int32_t unitWait) {
    Select(window);
    so_->SetPropertyNumber(PIDXDisp_MarqueeUnitWait, unitWait);
    Marquee(DISP_MT_INIT);
    so_->DisplayTextAt(0, 0, text, DISP_DT_NORMAL);
  }

  // Runs what `start` starts for `seconds`, stops it in `stopWindow`, and measures the frames
  // of `row` against `nominal`.
  template <class StartFn>
  StepFigures Run(StartFn start, int32_t stopWindow, int row, double seconds, double nominal) {
    const size_t from = display_.ReceivedBytesWithTimes().size();
    const auto wallStart = Steady::now();
    const double cpuStart = CpuSeconds();
    start();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = CpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(Steady::now() - wallStart).count();
    Select(stopWindow);
    Marquee(DISP_MT_INIT);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the log catches up
    StepFigures f = Steps(FrameTimes(display_.ReceivedBytesWithTimes(), from, row), nominal);
    f.cpuPercent = 100.0 * cpu / wall;
    return f;
  }

  // Time from a DisplayTextAt call of 20 characters (no worker running) until the display has
  // logged the last of its bytes. The display logs each read at once, so this is an upper
  // bound of the time to the last byte on the pty.
  std::vector<double> TextLatencies(int count, std::vector<double>& returned) {
    std::vector<double> out;
    Select(1);
    Marquee(DISP_MT_NONE);
    for (int i = 0; i < count; ++i) {
      so_->ClearText();
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      const uintmax_t logStart = LogSize();
      const auto t0 = Steady::now();
      so_->DisplayText(u"01234567890123456789", DISP_DT_NORMAL);
      returned.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t0).count());
      const auto limit = t0 + std::chrono::seconds(1);
      while (Steady::now() < limit && BytesLoggedSince(logStart) < 20) {
        std::this_thread::yield();  // leave the processor to the display's reader
      }
      out.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t0).count());
    }
    return out;
  }

 private:
  uintmax_t LogSize() {
    std::ifstream in(display_.LogPath(), std::ios::binary | std::ios::ate);
    return static_cast<uintmax_t>(in.tellg());
  }

  size_t BytesLoggedSince(uintmax_t offset) {
    std::ifstream in(display_.LogPath(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    size_t count = 0;
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string token;
      fields >> token;  // time stamp
      while (fields >> token) ++count;
    }
    return count;
  }

  it::VirtualDisplay display_;
  std::unique_ptr<it::TestRegistryFile> store_;
  std::unique_ptr<SystemPlatform> sys_;
  std::unique_ptr<ModuleState> module_;
  std::unique_ptr<POSLDisplay> so_;
};

struct ClockChoice {
  const char* name;
  std::function<std::unique_ptr<platform::Clock>()> make;
};

using Timing = fakes::SimulatedWindowsClock::Timing;

std::unique_ptr<platform::Clock> Simulated(Timing timing) {
  return std::make_unique<fakes::SimulatedWindowsClock>(timing);
}

// Line 1 (100 ms + U1 = 100), line 2 (U2 = 50), both lines (the combined worker, step 100 ms)
// and a blinking line 1 (100 ms + U1 + the rest of the 250 ms blink floor) on one clock.
void RunClock(const ClockChoice& choice, bool loaded, double seconds, bool traced = false) {
  std::unique_ptr<Load> load;
  if (loaded) load = std::make_unique<Load>();
  const double p99Target = loaded ? 5.0 : 3.0;
  const std::string label =
      std::string(choice.name) + (loaded ? ", loaded" : "") + (traced ? ", trace on" : "");
  // Each run on a freshly opened display, so that no run inherits another's worker state.
  auto fresh = [&](const std::string& what, double nominal, auto&& prepare, auto&& start,
                   int32_t stopWindow, int row) {
    Bench bench;
    if (!bench.Start(choice.make(), traced)) {
      std::printf("the virtual pole display could not be started or opened (KIRNOW_BIN_DIR?)\n");
      return;
    }
    prepare(bench);
    Print(label + ": " + what, bench.Run([&] { start(bench); }, stopWindow, row, seconds, nominal),
          nominal, p99Target);
  };
  fresh(
      "line 1", 200.0, [](Bench& b) { b.Prepare(1, u"Scrolling Text Line 1 ", 100); },
      [](Bench& b) { b.Marquee(DISP_MT_LEFT); }, 1, 1);
  fresh(
      "line 2", 50.0, [](Bench& b) { b.Prepare(2, u"Scrolling Text Line 2 ", 50); },
      [](Bench& b) { b.Marquee(DISP_MT_LEFT); }, 2, 2);
  fresh(
      "both lines", 100.0,
      [](Bench& b) {
        b.Prepare(1, u"Scrolling Text Line 1 ", 100);
        b.Prepare(2, u"Scrolling Text Line 2 ", 50);
      },
      [](Bench& b) {
        b.Select(1);
        b.Marquee(DISP_MT_LEFT);
        b.Select(2);
        b.Marquee(DISP_MT_LEFT);
      },
      2, 1);
  fresh(
      "line 1 blinking (phase 350)", 350.0,
      [](Bench& b) { b.Prepare(1, u"Blinking line one", 100); },
      [](Bench& b) { b.Blink(1, u"Blinking line one"); }, 1, 1);
}

int Analyze(char** argv) {
  const double nominal = std::atof(argv[4]);
  std::ifstream in(argv[2]);
  std::stringstream text;
  text << in.rdbuf();
  StepFigures f = Steps(FrameTimes(it::ParseByteLog(text.str()), 0, std::atoi(argv[3])), nominal);
  f.cpuPercent = std::atof(argv[6]);
  Print(argv[7], f, nominal, std::atof(argv[5]));
  return 0;
}

int Main(int argc, char** argv) {
  if (argc == 8 && std::string(argv[1]) == "--analyze") return Analyze(argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  const bool traceOnly = argc > 2 && std::string(argv[2]) == "--trace-only";
  std::printf("marquee runs of %.1f s each against the virtual pole display over a pty\n", seconds);
  const std::vector<ClockChoice> clocks = {
      {"Linux clock", [] { return platform::MakeSystemClock(); }},
      {"Windows timer, tick counter (before)", [] { return Simulated(Timing::TickCount); }},
      {"Windows timer, high-resolution timer",
       [] { return Simulated(Timing::HighResolutionTimer); }},
      {"Windows timer, raised resolution", [] { return Simulated(Timing::RaisedResolution); }},
  };
  for (bool loaded : {false, true}) {
    for (size_t c = 0; c < clocks.size(); ++c) {
      if (!traceOnly || c == 0 || c == 2) RunClock(clocks[c], loaded, seconds);
    }
  }
  // The field trace on: every frame is a line for its writer thread, which must not move them.
  for (bool loaded : {false, true}) {
    for (size_t c : {size_t{0}, size_t{2}}) RunClock(clocks[c], loaded, seconds, true);
  }
  std::error_code ignored;
  std::filesystem::remove_all(TraceFolder(), ignored);

  Bench bench;
  if (!bench.Start(platform::MakeSystemClock())) return 0;
  std::vector<double> returned;
  std::vector<double> latencies = bench.TextLatencies(50, returned);
  auto summary = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) sum += x;
    char text[160];
    std::snprintf(text, sizeof text, "median %.3f ms, mean %.3f ms, max %.3f ms over %zu calls",
                  v[v.size() / 2], sum / double(v.size()), v.back(), v.size());
    return std::string(text);
  };
  std::printf("DisplayText of 20 characters, call to return (all bytes written to the pty): %s\n",
              summary(returned).c_str());
  std::printf(
      "DisplayText of 20 characters, call to the last byte logged by the display: %s "
      "(target within 5 ms)\n",
      summary(latencies).c_str());
  std::ifstream loadavg("/proc/loadavg");
  std::string load;
  std::getline(loadavg, load);
  std::printf("system load average during the run: %s\n", load.c_str());
  return 0;
}

}  // namespace
}  // namespace kirnow

int main(int argc, char** argv) { return kirnow::Main(argc, argv); }
