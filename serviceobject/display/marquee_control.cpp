// The marquee control, run when a MarqueeType value has been stored: starts the walking text on
// the current window's line, switches to the combined worker when the other line is busy too,
// and stops the line's worker for DISP_MT_NONE and DISP_MT_INIT.
#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/display_engine.h"
#include "serviceobject/display/engine_internal.h"
#include "serviceobject/display/workers.h"

namespace kirnow {

namespace {

using display::kCombinedWorker;
using display::WorkerOfLine;

// Line `line` should walk: alone when the other line is idle, else both lines together in the
// combined worker.
void StartWalking(ModuleState& m, int line) {
  DisplayShared& d = m.display;
  display::Workers workers(m);
  const int other = display::OtherLine(line);
  WorkerControl& own = d.worker(WorkerOfLine(line));
  WorkerControl& otherWorker = d.worker(WorkerOfLine(other));

  d.worker(kCombinedWorker).started = 0;
  if (!otherWorker.started && !d.line(other).blink) {
    if (workers.Running(WorkerOfLine(line))) return;  // the line walks already
    // The combined worker walks this line already; a second worker would fight it for the line.
    if (workers.Running(kCombinedWorker)) return;
    workers.Start(WorkerOfLine(line));
    own.started = 1;
    own.scrolling = 1;
  } else {
    // The other line is busy: its single-line worker gives way to the combined one.
    otherWorker.scrolling = 0;
    workers.Stop(WorkerOfLine(other));
    workers.StartCombinedUnlessRunning();
  }
}

void StopWalking(POSLDisplay& so, int32_t viewportRow) {
  ModuleState& m = so.module();
  DisplayShared& d = m.display;
  display::Workers workers(m);
  platform::Clock& clock = m.platform.clock;
  WorkerControl& combined = d.worker(kCombinedWorker);
  // The combined worker is stopped whenever it runs, also when a later start request has
  // cleared its started flag.
  const bool combinedBusy = combined.started || workers.Running(kCombinedWorker);
  const bool stoppedBoth = combinedBusy || (viewportRow != 0 && viewportRow != 1);
  if (combinedBusy) {
    combined.started = 0;
    workers.StopAfterFrame(kCombinedWorker, clock.Ticks(), display::kWorkerStopTimeout);
    d.worker(1).scrolling = 0;
    d.worker(2).scrolling = 0;
  } else if (viewportRow == 0 || viewportRow == 1) {
    const int line = viewportRow + 1;
    WorkerControl& own = d.worker(WorkerOfLine(line));
    if (!own.scrolling && !d.line(line).blink) return;
    // The wait for line 1's frame has always had the shorter bound (engine_internal.h).
    const uint32_t bound =
        line == 1 ? display::kCursorSequenceTimeout : display::kWorkerStopTimeout;
    so.WaitStartTick = clock.Ticks();
    workers.StopAfterFrame(WorkerOfLine(line), so.WaitStartTick, bound);
    own.scrolling = 0;
  } else {
    workers.Stop(1);
    workers.Stop(2);
    for (int line = 1; line <= 2; ++line) {
      d.worker(WorkerOfLine(line)).scrolling = 0;
      d.worker(WorkerOfLine(line)).restart = 1;
    }
  }
  // The stopped line keeps its last frame. It no longer counts as started, nor as blinking: a
  // later start of the other line must not take it along into the combined worker (which would
  // pace that line at the blink's 250 ms and blank this one every step).
  for (int line = 1; line <= 2; ++line) {
    if (viewportRow == line - 1 || stoppedBoth) {
      d.worker(WorkerOfLine(line)).started = 0;
      d.line(line).blink = 0;
    }
  }
}

}  // namespace

void MarqueeControl(POSLDisplay& so, int32_t value) {
  ModuleState& m = so.module();
  std::lock_guard<std::recursive_mutex> control(m.display.controlLock);
  const int32_t viewportRow = so.CurrentRecord().ViewportRow;
  if (value == DISP_MT_LEFT) {
    if (viewportRow == 0) StartWalking(m, 1);
    if (viewportRow == 1) StartWalking(m, 2);
  } else if (value == DISP_MT_NONE || value == DISP_MT_INIT) {
    StopWalking(so, viewportRow);
  }
  // Right, up, down and any other value: the display has no such marquee.
}

}  // namespace kirnow
