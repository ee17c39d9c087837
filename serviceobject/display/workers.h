// The marquee and blink workers' controller: the one place that starts and stops them, moves
// the display between the single-line workers and the combined one, and hands text to the
// worker that drives the display. The marquee and blink controls and the text output decide
// what should happen; this carries it out on the workers' control state (display_state.h).
//
// Workers are numbered 1 (line 1, FirstThread), 2 (line 2, SecondThread) and 3 (both lines,
// thirdThread). Starting, stopping and replacing happen under the display's controlLock, which
// the workers never take; a stop waits for the worker's end flag (bounded, sleeping) and joins
// it, so nothing a stopped worker does outlives the call that stopped it. A worker that misses
// the bound is let go with its own run (display_state.h): it sends nothing more, and the worker
// started after it walks alone.
#pragma once

#include <cstdint>
#include <string_view>

#include "serviceobject/core/so_state.h"

namespace kirnow::display {

inline constexpr int kLine1Worker = 1;
inline constexpr int kLine2Worker = 2;
inline constexpr int kCombinedWorker = 3;

// The worker that drives display line `line` (1 or 2) alone.
constexpr int WorkerOfLine(int line) { return line; }
// The display line that is not `line`.
constexpr int OtherLine(int line) { return line == 1 ? 2 : 1; }

class Workers {
 public:
  explicit Workers(ModuleState& m) : m_(m), d_(m.display) {}

  // The worker has been started and not told to stop.
  bool Running(int worker) const;
  // A worker walks or blinks a line: text for the display goes to it by hand-off.
  bool Driving() const;

  // Starts the worker. One of the same number that runs is stopped first; the combined worker
  // also stops both single-line workers first, so that at most one worker drives a line.
  void Start(int worker);
  // Stops the worker and joins its thread (or lets it go after the bound); nothing happens for
  // a worker that does not run.
  void Stop(int worker);
  // Stops the worker after the frame it is sending, so that no cursor move is left without its
  // characters: its walk restarts from the beginning next time, and the wait for the frame is
  // bounded (`boundMs`) from `waitStart` on.
  void StopAfterFrame(int worker, uint32_t waitStart, uint32_t boundMs);
  // Stops every worker; used when a session or the module goes away.
  void StopAll();
  // Empties what every worker walks (ClearText): a walking line shows blanks from its next frame.
  void ClearWalks();

  // The combined worker: the marquee control starts it only when it does not run yet; the
  // blink control restarts it so that it rebuilds both lines from the current text.
  void StartCombinedUnlessRunning();
  void RestartCombined();

  // Hands `text` for display line `line` to the driving worker, which writes it between two of
  // its frames. Waits (bounded) for the previous hand-off to be taken first; `waitStart`
  // receives the tick at which that wait began.
  void HandOff(int line, std::string_view text, uint32_t& waitStart);

 private:
  ModuleState& m_;
  DisplayShared& d_;
};

// The worker bodies (worker_loop.cpp), run on the workers' threads, each on its own run.
void FirstThread(ModuleState& m, WorkerRun& run);
void SecondThread(ModuleState& m, WorkerRun& run);
void thirdThread(ModuleState& m, WorkerRun& run);

}  // namespace kirnow::display
