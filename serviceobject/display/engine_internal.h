// Helpers shared by the display engine's source files: line buffers, bounded waits on the tick
// counter, and starting and stopping the marquee and blink workers.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "serviceobject/core/so_state.h"

namespace kirnow::display {

// Longest wait, in ms, for a pending hand-off to be taken before new text overwrites it.
inline constexpr uint32_t kTextAtTimeout = 500;
// Longest wait for line 1's worker to finish a cursor-move sequence when it is stopped.
inline constexpr uint32_t kCursorSequenceTimeout = 2000;
// Bound on every other wait for a worker (its end flag, its cursor-move flag). The worker
// thread is joined after this wait in any case, so nothing it does outlives the control.
inline constexpr uint32_t kWorkerStopTimeout = 5000;
// Characters a line buffer (and the output buffer of DisplayText) holds.
inline constexpr size_t kLineCapacity = 255;
// Characters of a line's text that a marquee or blink worker shows.
inline constexpr int32_t kMarqueeTextLimit = 40;
inline constexpr int32_t kDisplayColumns = 20;

// The text of line 1 or line 2 up to its terminating zero (empty for other lines).
std::string ReadLine(DisplayShared& d, int line);
// Replaces the text of line 1 or line 2 by `text`, cut at its first zero byte and at 255
// characters; the rest of the buffer is zero. Other lines have no buffer: nothing happens.
void StoreLine(DisplayShared& d, int line, std::string_view text);

// A worker is driving the display: the hand-off test of the text output.
bool WorkerDriving(const DisplayShared& d);

// Polls the tick counter without sleeping until done() is true or more than `limitMs` have
// passed since `start`. Returns done() at the end.
template <class Done>
bool WaitUntil(platform::Clock& clock, uint32_t start, uint32_t limitMs, Done done) {
  while (!done()) {
    if (clock.Ticks() - start > limitMs) return done();
  }
  return true;
}

// Workers are numbered 1 (line 1), 2 (line 2) and 3 (both lines).
// Sets the worker's keep-running flag and starts its thread. A worker of the same number that
// is still running is stopped first; starting worker 3 also stops workers 1 and 2, so that at
// most one worker drives a line.
void StartWorker(ModuleState& m, int worker);
// Clears the worker's keep-running flag, waits (bounded) for its end flag and joins its thread.
// Does nothing for a worker that is not running.
void StopWorker(ModuleState& m, int worker);
// The worker's thread exists and has not been joined.
bool WorkerRunning(ModuleState& m, int worker);

// The blink control: makes the line of a window at `viewportRow` blink `text`.
void BlinkControl(ModuleState& m, int32_t viewportRow, std::string_view text);

// The worker bodies.
void FirstThread(ModuleState& m);
void SecondThread(ModuleState& m);
void thirdThread(ModuleState& m);

}  // namespace kirnow::display
