// The marquee and blink workers' bodies: FirstThread drives line 1, SecondThread line 2 and
// thirdThread both lines. Each walks its line's text from right to left across the 20 columns
// (marquee) or alternates it with blanks (blink), and the single-line workers also write the
// other line's text when the caller hands it over. Every frame (cursor move plus its
// characters) is one unit on the port, so nothing the caller sends lands inside it.
// The single-line workers share one step (RunLine) and differ only in their pacing. Each worker
// keeps its flags and what it walks in its own run (core/display_state.h); one that was let go past
// its stop bound sends no frame and takes no hand-off.
#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "serviceobject/display/command_set.h"
#include "serviceobject/display/display_engine.h"
#include "serviceobject/display/engine_internal.h"
#include "serviceobject/display/workers.h"

namespace kirnow::display {

namespace {

// Sleeps longer than this are taken in slices, so that a stopped worker with a very long unit
// wait ends within about this time instead of finishing its whole step.
constexpr int64_t kSleepSlice = 1000;

// Builds the walk of a line from its text: 20 blanks, the text (at most 40 characters), 20
// blanks; the position starts at 0.
void BuildScroll(DisplayShared& d, WorkerRun& run, int line) {
  Walk& s = run.walk(line);
  const LineBuffer& text = d.text(line);
  platform::MutexHold hold(d.textLock);
  const int32_t measured = static_cast<int32_t>(
      std::find(text.begin(), text.begin() + kLineCapacity, '\0') - text.begin());
  const int32_t shown = std::min(measured, kMarqueeTextLimit);
  s.scroll.fill('\0');
  std::fill(s.scroll.begin(), s.scroll.begin() + shown + 2 * kDisplayColumns, ' ');
  std::memcpy(s.scroll.data() + kDisplayColumns, text.data(), static_cast<size_t>(shown));
  s.textLength = measured;
  s.length = shown + 2 * kDisplayColumns;
  s.position = 0;
}

// The 20 scroll-buffer bytes from `from`, copied out under the text lock (ClearText may be
// zero-filling the buffer at the same moment).
std::array<uint8_t, kDisplayColumns> TakeColumns(DisplayShared& d, const Walk& s, int32_t from) {
  std::array<uint8_t, kDisplayColumns> out{};
  platform::MutexHold hold(d.textLock);
  for (int32_t i = 0; i < kDisplayColumns; ++i) {
    const int32_t index = from + i;
    const char c = index >= 0 && index < static_cast<int32_t>(s.scroll.size())
                       ? s.scroll[static_cast<size_t>(index)]
                       : ' ';
    // A cell the scroll buffer never filled is a blank: a NUL is no character for the display.
    out[static_cast<size_t>(i)] = static_cast<uint8_t>(c == '\0' ? ' ' : c);
  }
  return out;
}

// One frame, one unit on the port: move to column 1 of `line`, then the bytes. The run's
// in-frame flag is set while the frame is with the port. A frame that did not reach the wire
// (the display gone, the port closed or stalled) costs the time it would have taken there, so
// the walk moves on as it would have and the worker never spins. A worker let go before its
// frame went out sends nothing: false then.
bool SendFrame(ModuleState& m, WorkerRun& run, int line, const uint8_t* bytes, size_t count) {
  port::Unit frame;
  SendCursorMove(frame, 1, line);
  frame.SendData(bytes, static_cast<int32_t>(count));
  uint64_t missed = 0;
  run.inFrame = 1;
  const bool sent = m.Port.SendFrame(std::move(frame), run.letGo, missed);
  run.inFrame = 0;
  platform::Clock& clock = m.platform.clock;
  if (missed != 0) clock.SleepWhile(clock.Micros() + missed, run.keepRunning);
  return sent;
}

bool ShowColumns(ModuleState& m, WorkerRun& run, int line, int32_t from) {
  const auto columns = TakeColumns(m.display, run.walk(line), from);
  return SendFrame(m, run, line, columns.data(), columns.size());
}

// One blink phase: the text (the first 20 characters of the walk's text) or 20 blanks, by the
// line's show flag, which is toggled once the phase went out.
void ShowBlinkPhase(ModuleState& m, WorkerState& ws, WorkerRun& run, int line) {
  LineShow& s = ws.line(line);
  if (s.showText) {
    if (ShowColumns(m, run, line, kDisplayColumns)) s.showText = 0;
  } else {
    std::array<uint8_t, kDisplayColumns> blanks;
    blanks.fill(' ');
    if (SendFrame(m, run, line, blanks.data(), blanks.size())) s.showText = 1;
  }
}

void Advance(Walk& s) {
  s.position += 1;
  if (s.position >= s.length - kDisplayColumns) s.position = 0;
}

// The worker's sleeps, measured from where the previous one should have ended: time lost to
// late wake-ups and to sending a frame is taken off the next sleep, so that the steps keep
// their nominal length on average. After a stall of more than 50 ms the schedule starts over
// from now instead of catching up in a burst. It keeps time on the clock's precise counter and
// waits with its precise wait (on Windows the tick counter moves in 15.625 ms steps and Sleep
// wakes on them, which would make every step land up to a timer tick late).
class Pacer {
 public:
  explicit Pacer(ModuleState& m) : clock_(m.platform.clock), due_(clock_.Micros()) {}

  // Measures the following sleeps from now. A blinking step starts with this, so that a late
  // frame never shortens the next blink phase below its length.
  void Restart() { due_ = clock_.Micros(); }

  // Sleeps `ms` (a negative time is no sleep).
  void Sleep(int64_t ms) {
    if (ms <= 0) return;
    due_ += static_cast<uint64_t>(ms) * 1000u;
    const uint64_t now = clock_.Micros();
    if (due_ > now) {
      clock_.SleepUntil(due_);
    } else if (now - due_ > kResync) {
      due_ = now;
    }
  }

  // Sleeps `ms`; a long sleep is taken in slices and abandoned when the keep-running flag is
  // cleared. Returns false then.
  bool Nap(int64_t ms, const std::atomic<int32_t>& keepRunning) {
    if (ms <= kSleepSlice) {
      Sleep(ms);
      return true;
    }
    while (ms > 0) {
      const int64_t slice = std::min(ms, kSleepSlice);
      Sleep(slice);
      ms -= slice;
      if (ms > 0 && !keepRunning) return false;
    }
    return true;
  }

  // Waits `ticks` ticks of 10 ms while the keep-running flag stays set. One wait for all the
  // ticks: the clock ends it once the flag is cleared (at once where the stop can wake it,
  // else at the next 10 ms), so a step costs one wake-up instead of one per tick.
  void TickWait(int32_t ticks, const std::atomic<int32_t>& keepRunning) {
    if (ticks <= 0 || !keepRunning) return;
    due_ += static_cast<uint64_t>(ticks) * 10000u;
    const uint64_t now = clock_.Micros();
    if (due_ > now) {
      clock_.SleepWhile(due_, keepRunning);
    } else if (now - due_ > kResync) {
      due_ = now;
    }
  }

 private:
  static constexpr uint64_t kResync = 50000;  // microseconds
  platform::Clock& clock_;
  uint64_t due_;  // microseconds on the precise counter
};

// Hand-off: writes the other line's text once, from column 1, and marks the request taken.
void WriteHandOff(ModuleState& m, WorkerState& ws, WorkerRun& run, int otherLine) {
  DisplayShared& d = m.display;
  std::string text;
  {
    platform::MutexHold hold(d.textLock);
    const LineBuffer& source = d.text(otherLine);
    text.assign(source.data(), std::find(source.begin(), source.begin() + kLineCapacity, '\0'));
    run.walk(otherLine).textLength = static_cast<int32_t>(text.size());
    // Taken: text stored from now on is a new request for the next step.
    ws.handOffPending = 0;
  }
  SendFrame(m, run, otherLine, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

int32_t UnitWait(ModuleState& m, int window) {
  return m.list[static_cast<size_t>(window)].MarqueeUnitWait;
}

// The pacing of the steps. Line 1 steps every 100 ms plus window 1's unit wait, line 2 every
// window 2's unit wait counted in whole 10 ms ticks, and the combined worker every longer of
// the two in ticks, never under 250 ms while a line blinks. The two lines have been paced so
// from the first release: making one like the other would change how fast an installed till's
// marquee walks for the MarqueeUnitWait it sets. Line 1 waits in slices a stop can end between
// (Pacer::Nap), line 2 and the combined worker in one wait a stop ends at once (TickWait). A
// blink phase lasts 250 ms from its step's start.
constexpr int64_t kLine1BaseStepMs = 100;
constexpr int32_t kTickMs = 10;
constexpr int64_t kBlinkPhaseMs = 250;
constexpr int32_t kBlinkPhaseTicks = static_cast<int32_t>(kBlinkPhaseMs / kTickMs);

// Waits before a single-line step and returns the unit wait it used; false when a stop ended a
// long wait early (only line 1's sliced wait tells).
bool WaitForStep(ModuleState& m, Pacer& pace, int line, WorkerRun& run, int32_t& unitWait) {
  if (line == 1) {
    pace.Sleep(kLine1BaseStepMs);
    unitWait = UnitWait(m, 1);
    return pace.Nap(unitWait, run.keepRunning);
  }
  unitWait = UnitWait(m, 2);
  pace.TickWait(unitWait / kTickMs, run.keepRunning);
  return true;
}

// A single-line step's output: the walk's next frame, or, while the line blinks, the next blink
// phase once the phase's time is up. False when a stop ended that wait early.
bool ShowStep(ModuleState& m, WorkerState& ws, Pacer& pace, int line, WorkerRun& run,
              int32_t unitWait) {
  const LineShow& s = ws.line(line);
  bool blinkPhase = s.blink != 0;
  if (!blinkPhase) {
    ShowColumns(m, run, line, run.walk(line).position);
    blinkPhase = s.blink != 0;  // a blink that began meanwhile shows at once
  }
  if (blinkPhase) {
    if (!pace.Nap(kBlinkPhaseMs - static_cast<int64_t>(unitWait), run.keepRunning)) return false;
    ShowBlinkPhase(m, ws, run, line);
  }
  return true;
}

// The single-line worker of `line`: walks or blinks it, and writes text handed over for the
// other line between two of its frames.
// `begin` and `end` are the trace lines of its start and end.
void RunLine(ModuleState& m, WorkerState& ws, WorkerRun& run, int line, const char* begin,
             const char* end) {
  DisplayShared& d = m.display;
  WorkerControl& c = ws.worker(WorkerOfLine(line));
  Walk& walk = run.walk(line);
  const int other = OtherLine(line);
  m.trace.Record(begin);
  BuildScroll(d, run, line);
  Pacer pace(m);
  while (run.keepRunning) {
    if (ws.line(line).blink) pace.Restart();
    int32_t unitWait = 0;
    if (!WaitForStep(m, pace, line, run, unitWait)) break;
    if (c.restart) {
      walk.position = 0;
      c.restart = 0;
    }
    // A worker let go while it waited for the port leaves the hand-off to its successor.
    if (!ShowStep(m, ws, pace, line, run, unitWait) || run.letGo) break;
    if (ws.handOffPending) WriteHandOff(m, ws, run, other);
    Advance(walk);
    run.inFrame = 0;
  }
  run.ended = 1;
  m.trace.Record(end);
}

}  // namespace

void FirstThread(ModuleState& m, WorkerState& ws, WorkerRun& run) {
  RunLine(m, ws, run, 1, "\nFirstThread:\n", "\nFirstThread_end:\n");
}

void SecondThread(ModuleState& m, WorkerState& ws, WorkerRun& run) {
  RunLine(m, ws, run, 2, "\nSecondThread:\n", "\nSecondThread_end:\n");
}

void thirdThread(ModuleState& m, WorkerState& ws, WorkerRun& run) {
  DisplayShared& d = m.display;
  WorkerControl& c = ws.worker(Worker::Combined);
  m.trace.Record("\nthirdThread:\n");
  BuildScroll(d, run, 1);
  BuildScroll(d, run, 2);
  const int32_t step = std::max(UnitWait(m, 1), UnitWait(m, 2)) / kTickMs;
  Pacer pace(m);
  while (run.keepRunning) {
    if (c.restart) {
      run.walk(1).position = 0;
      run.walk(2).position = 0;
      c.restart = 0;
    }
    int32_t ticks = step;
    if (ws.line(1).blink || ws.line(2).blink) {
      ticks = std::max(ticks, kBlinkPhaseTicks);
      pace.Restart();
    }
    pace.TickWait(ticks, run.keepRunning);
    for (int line = 1; line <= 2; ++line) {
      if (!ws.line(line).blink) ShowColumns(m, run, line, run.walk(line).position);
      if (ws.line(line).blink) ShowBlinkPhase(m, ws, run, line);
      Advance(run.walk(line));
    }
  }
  run.ended = 1;
  m.trace.Record("\nthirdThread_end:\n");
}

}  // namespace kirnow::display
