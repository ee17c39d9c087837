// The marquee and blink workers: FirstThread drives line 1, SecondThread line 2 and thirdThread
// both lines. Each walks its line's text from right to left across the 20 columns (marquee) or
// alternates it with blanks (blink), and the single-line workers also write the other line's
// text when the caller hands it over. Every frame (cursor move plus its characters) is sent
// under the port's frame lock, so nothing the caller sends lands inside it.
#include <algorithm>
#include <array>
#include <cstring>

#include "serviceobject/display/command_set.h"
#include "serviceobject/display/display_engine.h"
#include "serviceobject/display/engine_internal.h"

namespace kirnow::display {

namespace {

// Sleeps longer than this are taken in slices, so that a stopped worker with a very long unit
// wait ends within about this time instead of finishing its whole step.
constexpr int64_t kSleepSlice = 1000;

struct LineState {
  std::array<char, 80>& scroll;
  int32_t& length;
  int32_t& position;
  int32_t& textLength;
  std::atomic<uint8_t>& blink;
  std::atomic<uint8_t>& show;
};

LineState Line(DisplayShared& d, int line) {
  if (line == 1) {
    return {d.scroll_buf1, d.scroll_len1, d.scroll_pos1, d.text1_len, d.blink_up, d.blink_up_show};
  }
  return {d.scroll_buf2, d.scroll_len2, d.scroll_pos2, d.text2_len, d.blink_low, d.blink_low_show};
}

// Builds the line's scroll buffer from its text: 20 blanks, the text (at most 40 characters),
// 20 blanks; the position starts at 0.
void BuildScroll(DisplayShared& d, int line) {
  LineState s = Line(d, line);
  const std::array<char, 256>& text = line == 1 ? d.text1 : d.text2;
  std::lock_guard<std::mutex> hold(d.textLock);
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
std::array<uint8_t, kDisplayColumns> TakeColumns(DisplayShared& d, int line, int32_t from) {
  LineState s = Line(d, line);
  std::array<uint8_t, kDisplayColumns> out{};
  std::lock_guard<std::mutex> hold(d.textLock);
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

// One frame: move to column 1 of `line`, then the bytes. `marker` is set just before the move
// and cleared after each character that follows it (when given).
void SendFrame(ModuleState& m, int line, const uint8_t* bytes, size_t count,
               std::atomic<int32_t>* marker) {
  auto frame = m.Port.LockFrame();
  if (marker != nullptr) *marker = 1;
  SendCursorMove(m.Port, 1, line);
  for (size_t i = 0; i < count; ++i) {
    m.Port.SendByte(bytes[i]);
    if (marker != nullptr) *marker = 0;
  }
}

void ShowColumns(ModuleState& m, int line, int32_t from, std::atomic<int32_t>& marker) {
  const auto columns = TakeColumns(m.display, line, from);
  SendFrame(m, line, columns.data(), columns.size(), &marker);
}

// One blink phase: the text (the first 20 characters of the scroll buffer's text) or 20 blanks,
// by the line's show flag, which is toggled.
void ShowBlinkPhase(ModuleState& m, int line, std::atomic<int32_t>& marker) {
  LineState s = Line(m.display, line);
  if (s.show) {
    ShowColumns(m, line, kDisplayColumns, marker);
    s.show = 0;
  } else {
    std::array<uint8_t, kDisplayColumns> blanks;
    blanks.fill(' ');
    SendFrame(m, line, blanks.data(), blanks.size(), &marker);
    s.show = 1;
  }
}

void Advance(DisplayShared& d, int line) {
  LineState s = Line(d, line);
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
void WriteHandOff(ModuleState& m, int otherLine, std::atomic<int32_t>* marker) {
  DisplayShared& d = m.display;
  std::string text;
  {
    std::lock_guard<std::mutex> hold(d.textLock);
    const std::array<char, 256>& source = otherLine == 1 ? d.text1 : d.text2;
    text.assign(source.data(), std::find(source.begin(), source.begin() + kLineCapacity, '\0'));
    (otherLine == 1 ? d.text1_len : d.text2_len) = static_cast<int32_t>(text.size());
    // Taken: text stored from now on is a new request for the next step.
    d.Scroll_textAT = 0;
  }
  SendFrame(m, otherLine, reinterpret_cast<const uint8_t*>(text.data()), text.size(), marker);
}

int32_t UnitWait(ModuleState& m, int window) {
  return m.list[static_cast<size_t>(window)].MarqueeUnitWait;
}

}  // namespace

void FirstThread(ModuleState& m) {
  DisplayShared& d = m.display;
  m.trace.Record("\nFirstThread:\n");
  d.Thread1_end_f = 0;
  BuildScroll(d, 1);
  Pacer pace(m);
  while (d.Susp_Thread1_f) {
    if (d.blink_up) pace.Restart();
    pace.Sleep(100);
    if (d.Threadhd1_restart) {
      d.scroll_pos1 = 0;
      d.Threadhd1_restart = 0;
    }
    const int32_t unitWait = UnitWait(m, 1);
    if (!pace.Nap(unitWait, d.Susp_Thread1_f)) break;
    bool blinkPhase = d.blink_up != 0;
    if (!blinkPhase) {
      ShowColumns(m, 1, d.scroll_pos1, d.void_1f24_f_1);
      blinkPhase = d.blink_up != 0;
    }
    if (blinkPhase) {
      if (!pace.Nap(250 - static_cast<int64_t>(unitWait), d.Susp_Thread1_f)) break;
      ShowBlinkPhase(m, 1, d.void_1f24_f_1);
    }
    if (d.Scroll_textAT) WriteHandOff(m, 2, &d.void_1f24_f_1);
    Advance(d, 1);
    d.void_1f24_f_1 = 0;
  }
  d.Thread1_end_f = 1;
  m.trace.Record("\nFirstThread_end:\n");
}

void SecondThread(ModuleState& m) {
  DisplayShared& d = m.display;
  m.trace.Record("\nSecondThread:\n");
  d.Thread2_end_f = 0;
  BuildScroll(d, 2);
  Pacer pace(m);
  while (d.Susp_Thread2_f) {
    if (d.blink_low) pace.Restart();
    if (d.Threadhd2_restart) {
      d.scroll_pos2 = 0;
      d.Threadhd2_restart = 0;
    }
    const int32_t unitWait = UnitWait(m, 2);
    pace.TickWait(unitWait / 10, d.Susp_Thread2_f);
    bool blinkPhase = d.blink_low != 0;
    if (!blinkPhase) {
      ShowColumns(m, 2, d.scroll_pos2, d.void_1f24_f_2);
      blinkPhase = d.blink_low != 0;
    }
    if (blinkPhase) {
      if (!pace.Nap(250 - static_cast<int64_t>(unitWait), d.Susp_Thread2_f)) break;
      ShowBlinkPhase(m, 2, d.void_1f24_f_2);
    }
    if (d.Scroll_textAT) WriteHandOff(m, 1, nullptr);
    Advance(d, 2);
    d.void_1f24_f_2 = 0;
  }
  d.Thread2_end_f = 1;
  m.trace.Record("\nSecondThread_end:\n");
}

void thirdThread(ModuleState& m) {
  DisplayShared& d = m.display;
  m.trace.Record("\nthirdThread:\n");
  d.Thread3_end_f = 0;
  BuildScroll(d, 1);
  BuildScroll(d, 2);
  const int32_t step = std::max(UnitWait(m, 1), UnitWait(m, 2)) / 10;
  Pacer pace(m);
  while (d.Susp_Thread3_f) {
    if (d.Threadhd3_restart) {
      d.scroll_pos1 = 0;
      d.scroll_pos2 = 0;
      d.Threadhd3_restart = 0;
    }
    // While either line blinks, a step is never shorter than 250 ms.
    int32_t ticks = step;
    if (d.blink_up || d.blink_low) {
      if (ticks < 25) ticks = 25;
      pace.Restart();
    }
    pace.TickWait(ticks, d.Susp_Thread3_f);
    for (int line = 1; line <= 2; ++line) {
      LineState s = Line(d, line);
      if (!s.blink) ShowColumns(m, line, s.position, d.void_1f24_f_3);
      if (s.blink) ShowBlinkPhase(m, line, d.void_1f24_f_3);
      Advance(d, line);
    }
  }
  d.Thread3_end_f = 1;
  m.trace.Record("\nthirdThread_end:\n");
}

namespace {

struct WorkerSlot {
  platform::Thread& thread;
  std::atomic<int32_t>& keepRunning;
  std::atomic<uint8_t>& ended;
  void (*body)(ModuleState&);
};

WorkerSlot Slot(DisplayShared& d, int worker) {
  if (worker == 1) return {d.worker1, d.Susp_Thread1_f, d.Thread1_end_f, &FirstThread};
  if (worker == 2) return {d.worker2, d.Susp_Thread2_f, d.Thread2_end_f, &SecondThread};
  return {d.worker3, d.Susp_Thread3_f, d.Thread3_end_f, &thirdThread};
}

}  // namespace

bool WorkerRunning(ModuleState& m, int worker) { return Slot(m.display, worker).thread.joinable(); }

void StopWorker(ModuleState& m, int worker) {
  std::lock_guard<std::recursive_mutex> control(m.display.controlLock);
  WorkerSlot slot = Slot(m.display, worker);
  slot.keepRunning = 0;
  if (!slot.thread.joinable()) return;
  platform::Clock& clock = m.platform.clock;
  clock.Interrupt();  // a worker in its tick wait sees the cleared flag now
  // The worker finishes its current step; once joined it writes nothing more. One that does not
  // end within the bound (it cannot: its longest wait is one byte's time-out) is let go rather
  // than waited for without end, and ends at its next look at its flag.
  if (WaitUntil(clock, clock.Ticks(), kWorkerStopTimeout, [&] { return slot.ended != 0; })) {
    slot.thread.join();
  } else {
    m.trace.Record("\nworker not stopped in time: let go\n");
    slot.thread.detach();
  }
}

void StartWorker(ModuleState& m, int worker) {
  std::lock_guard<std::recursive_mutex> control(m.display.controlLock);
  if (worker == 3) {
    // The combined worker drives both lines: no single-line worker may run beside it.
    StopWorker(m, 1);
    StopWorker(m, 2);
  }
  StopWorker(m, worker);
  WorkerSlot slot = Slot(m.display, worker);
  slot.keepRunning = 1;
  // Counted as inside its loop from now on, not only once the thread has been scheduled.
  slot.ended = 0;
  auto body = slot.body;
  // A worker holds precise timing while it runs (on Windows, where needed, a raised timer
  // resolution): the last one to end releases it.
  slot.thread = m.platform.clock.StartThread([&m, body] {
    platform::PreciseTiming precise(m.platform.clock);
    body(m);
  });
}

}  // namespace kirnow::display

namespace kirnow {

void StopAllWorkers(ModuleState& module) {
  std::lock_guard<std::recursive_mutex> control(module.display.controlLock);
  for (int worker = 1; worker <= 3; ++worker) display::StopWorker(module, worker);
}

}  // namespace kirnow
