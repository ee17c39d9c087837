// The display engine's module-wide state: the line buffers, which the text output and the
// workers share, and the marquee and blink workers' state, which only the workers' controller
// (workers.h) reaches and lends to the worker bodies it starts. Flags are atomics (a plain int
// shared between threads is undefined behaviour). The first name in each comment is the flag's
// traditional name, which the trace's state dump still prints.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/clock/thread.h"
#include "platform/sync/thread_safety.h"
#include "serviceobject/core/line_buffer.h"

namespace kirnow {

namespace display {
class Workers;

// The three workers: one for each display line alone (FirstThread, SecondThread), and the
// combined one that drives both lines (thirdThread).
enum class Worker { Line1 = 1, Line2 = 2, Combined = 3 };
// The worker that drives display line `line` (1 or 2) alone.
constexpr Worker WorkerOfLine(int line) { return line == 1 ? Worker::Line1 : Worker::Line2; }
// The display line that is not `line`.
constexpr int OtherLine(int line) { return line == 1 ? 2 : 1; }
}  // namespace display

// One display line's blinking, as the blink control sets it and its worker shows it.
struct LineShow {
  // blink_up (line 1) / blink_low (line 2): the line blinks instead of walking.
  std::atomic<uint8_t> blink{0};
  // blink_up_show / blink_low_show: the next blink phase shows the text (1) or blanks (0).
  std::atomic<uint8_t> showText{1};
};

// What a worker walks on one display line. scroll_buf1/2: 20 blanks, the text (40 characters at
// most), 20 blanks; with its length and the position of the next frame, and the length of the
// text it was built from. The worker's own; ClearText empties the buffer under textLock.
struct Walk {
  std::array<char, 80> scroll{};
  int32_t length = 0;
  int32_t position = 0;
  int32_t textLength = 0;
};

// One started worker thread's own state, held by the thread and by the controller's slot. A
// start makes a fresh one; a worker let go past its stop bound keeps its own and never shares a
// flag or a walk with the worker started after it.
struct WorkerRun {
  // Susp_Thread1_f/2/3: the worker goes on while set; cleared to stop it.
  std::atomic<int32_t> keepRunning{1};
  // Thread1_end_f/2/3: the worker's loop has ended (counted as running from the start on, not
  // only once the thread has been scheduled).
  std::atomic<uint8_t> ended{0};
  // void_1f24_f_1/2/3: a frame (cursor move plus characters) is in progress; a stop waits for
  // it so that the display is never left with a cursor move whose characters did not follow.
  std::atomic<int32_t> inFrame{0};
  // The stop let the thread go past its bound: it sends nothing more and ends at its next look.
  std::atomic<bool> letGo{false};
  // Display lines 1 and 2 as this worker walks them (a single-line worker uses its own line).
  std::array<Walk, 2> walks;
  Walk& walk(int line) { return walks[static_cast<size_t>(line - 1)]; }
};

// One worker's slot: what the marquee and blink controls asked of it, its current run and its
// thread. The run is replaced only under controlLock, on the caller's thread.
struct WorkerControl {
  // Thread1_f/2/3: the marquee or blink control started this worker for its line(s); a start on
  // the other line takes a started line along into the combined worker.
  std::atomic<int32_t> started{0};
  // Scroll1_Enable/Scroll2_Enable: the line's worker walks or blinks it (unused for worker 3).
  std::atomic<int32_t> scrolling{0};
  // Threadhd1_restart/2/3: the walk starts again from its first position at the next step.
  std::atomic<int32_t> restart{0};
  // The run of the last start (null before the first), and its thread while it is not joined or
  // let go.
  std::shared_ptr<WorkerRun> run;
  platform::Thread thread;

  // The current run's flags; a slot that never started reads as a worker that ended.
  int32_t keepRunning() const { return run ? run->keepRunning.load() : 0; }
  int32_t ended() const { return run ? run->ended.load() : 1; }
  int32_t inFrame() const { return run ? run->inFrame.load() : 0; }
};

// The workers' state: the controller's, and the worker bodies' while they run.
struct WorkerState {
  LineShow& line(int n) { return lines[static_cast<size_t>(n - 1)]; }
  const LineShow& line(int n) const { return lines[static_cast<size_t>(n - 1)]; }
  WorkerControl& worker(display::Worker w) { return workers[static_cast<size_t>(w) - 1]; }
  const WorkerControl& worker(display::Worker w) const {
    return workers[static_cast<size_t>(w) - 1];
  }

  std::array<LineShow, 2> lines;         // display lines 1 and 2
  std::array<WorkerControl, 3> workers;  // at their numbers (display::Worker)
  // Scroll_textAT: text for the line the worker does not drive waits to be written by the
  // worker between two of its frames (the hand-off); cleared when the worker has taken it.
  std::atomic<int32_t> handOffPending{0};
  // Worker threads alive, those let go past their stop bound included: from the start to the
  // thread's last step in the library's code.
  std::atomic<int32_t> threadsAlive{0};
};

struct DisplayShared {
  // Line buffers of line 1 (upper) and line 2 (lower): zero-terminated, 255 characters at most.
  // Guarded by textLock, since a worker copies the other line's text in a hand-off.
  display::LineBuffer text1{};
  display::LineBuffer text2{};
  platform::Mutex textLock;
  // The line buffer of display line `n` (1 or 2).
  display::LineBuffer& text(int n) { return n == 1 ? text1 : text2; }

  // ScrollText's running totals of units scrolled left and right since the last ClearText.
  int32_t ScrollLeftTotal = 0;
  int32_t ScrollRightTotal = 0;

  // Held by the workers' controller while it starts, stops or replaces workers, so that two
  // callers never race on the thread slots. Workers never take it.
  platform::RecursiveMutex controlLock KIRNOW_ACQUIRED_BEFORE(textLock);

 private:
  friend class display::Workers;
  WorkerState workers_;
};

}  // namespace kirnow
