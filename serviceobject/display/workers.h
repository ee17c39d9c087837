// The marquee and blink workers' controller: the one owner of their state (core/display_state.h).
// The marquee control, the blink control and the text output say what they want for a display
// line; the controller sets the flags together with starting, stopping or replacing the
// threads, moves the display between the single-line workers and the combined one, and hands
// text to the worker that drives the display. The worker bodies run on the state it lends them.
//
// Starting, stopping and replacing happen under the display's controlLock, which the workers
// never take; a stop waits for the worker's end flag (bounded, sleeping) and joins it, so
// nothing a stopped worker does outlives the call that stopped it. A worker that misses the
// bound is let go with its own run: it sends nothing more, and the worker started after it
// walks alone.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "serviceobject/core/so_state.h"

namespace kirnow::display {

// The workers' flags at one moment, as the trace's state dump prints them.
struct WorkersSnapshot {
  struct Slot {
    int32_t started, scrolling, restart, inFrame, keepRunning, ended;
  };
  std::array<Slot, 3> workers;   // at their numbers
  std::array<int32_t, 2> blink;  // display lines 1 and 2
  int32_t handOffPending;
  const Slot& of(Worker w) const { return workers[static_cast<size_t>(w) - 1]; }
};

// Which worker drives the display: none, a line's own, or the combined one for both lines. These
// are the only states the controller leaves the workers in: a start of the combined worker stops
// both single-line ones, and a line's own worker starts only while the other line is idle, so
// never do two run at once.
enum class Drive { Idle, Line1, Line2, Combined };

class Workers {
 public:
  explicit Workers(ModuleState& m) : m_(m), d_(m.display), s_(m.display.workers_) {}

  // The marquee: display line `line` walks its text, alone when the other line is idle, else
  // both lines together in the combined worker.
  void Walk(int line);
  // The marquee stops on `line` (0: a window on neither line stops both): its worker stops
  // after the frame it is sending and the line keeps that frame. `waitStart` receives the tick
  // at which the wait for a single line's frame began.
  void StopWalking(int line, uint32_t& waitStart);
  // Display line `line` (0: neither) blinks the text its buffer holds: the line's worker, or
  // the combined one when the other line is busy too, takes it up.
  void Blink(int line);
  // Display line `line` no longer blinks; a worker that walks it walks it again.
  void EndBlink(int line);
  // Empties what every worker walks (ClearText): a walking line shows blanks from its next frame.
  void ClearWalks();
  // Stops every worker; used when a session or the module goes away.
  void StopAll();

  // A worker walks or blinks a line: text for the display goes to it by hand-off.
  bool Driving() const;
  // Hands `text` for display line `line` to the driving worker, which writes it between two of
  // its frames: waits (bounded) for the previous hand-off to be taken, then stores the text in
  // the line's buffer. `waitStart` receives the tick at which that wait began.
  void HandOff(int line, std::string_view text, uint32_t& waitStart);

  // Worker threads that run the library's code, those let go past their stop bound included.
  bool ThreadsAlive() const { return s_.threadsAlive != 0; }
  WorkersSnapshot Snapshot() const;

 private:
  // The worker has been started and not told to stop.
  bool Running(Worker w) const;
  // The worker that drives the display now.
  Drive Driver() const;
  // Starts the worker. One of the same number that runs is stopped first; the combined worker
  // also stops both single-line workers first, so that at most one worker drives a line.
  void Start(Worker w);
  // Stops the worker and joins its thread (or lets it go after the bound); nothing happens for
  // a worker that does not run.
  void Stop(Worker w);
  // Stops the worker after the frame it is sending, so that no cursor move is left without its
  // characters: its walk restarts from the beginning next time, and the wait for the frame is
  // bounded (`boundMs`) from `waitStart` on.
  void StopAfterFrame(Worker w, uint32_t waitStart, uint32_t boundMs);
  // The combined worker: the marquee starts it only when it does not run yet; a blink restarts
  // it so that it rebuilds both lines from the current text.
  void StartCombinedUnlessRunning();
  void RestartCombined();
  // A blink: the single-line worker of `line` gives way to the combined one, or starts (the
  // combined one takes the line up instead when it runs).
  void GiveWay(int line);
  void StartBlinking(int line);

  ModuleState& m_;
  DisplayShared& d_;
  WorkerState& s_;
};

// The worker bodies (worker_loop.cpp), run on the workers' threads, each on its own run and the
// state the controller lends it.
void FirstThread(ModuleState& m, WorkerState& s, WorkerRun& run);
void SecondThread(ModuleState& m, WorkerState& s, WorkerRun& run);
void thirdThread(ModuleState& m, WorkerState& s, WorkerRun& run);

}  // namespace kirnow::display
