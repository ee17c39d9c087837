// The marquee control, run when a MarqueeType value has been stored: the current window's line
// walks for DISP_MT_LEFT and stops for DISP_MT_NONE and DISP_MT_INIT. Here too the workers'
// controller carries out a walk and its stop: which worker walks a line, and when the display
// switches to the combined worker.
#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/display_engine.h"
#include "serviceobject/display/engine_internal.h"
#include "serviceobject/display/workers.h"

namespace kirnow {

namespace display {

void Workers::Walk(int line) {
  platform::RecursiveHold control(d_.controlLock);
  const int other = OtherLine(line);
  WorkerControl& own = s_.worker(WorkerOfLine(line));
  WorkerControl& otherWorker = s_.worker(WorkerOfLine(other));

  s_.worker(Worker::Combined).started = 0;
  if (!otherWorker.started && !s_.line(other).blink) {
    const Drive drive = Driver();
    if (drive == (line == 1 ? Drive::Line1 : Drive::Line2)) return;  // the line walks already
    // The combined worker walks this line already; a second worker would fight it for the line.
    if (drive == Drive::Combined) return;
    Start(WorkerOfLine(line));
    own.started = 1;
    own.scrolling = 1;
  } else {
    // The other line is busy: its single-line worker gives way to the combined one.
    otherWorker.scrolling = 0;
    Stop(WorkerOfLine(other));
    StartCombinedUnlessRunning();
  }
}

void Workers::StopWalking(int line, uint32_t& waitStart) {
  platform::RecursiveHold control(d_.controlLock);
  platform::Clock& clock = m_.platform.clock;
  WorkerControl& combined = s_.worker(Worker::Combined);
  // The combined worker is stopped whenever it runs, also when a later start request has
  // cleared its started flag.
  const bool combinedBusy = combined.started || Driver() == Drive::Combined;
  const bool stoppedBoth = combinedBusy || line == 0;
  if (combinedBusy) {
    combined.started = 0;
    StopAfterFrame(Worker::Combined, clock.Ticks(), kWorkerStopTimeout);
    s_.worker(Worker::Line1).scrolling = 0;
    s_.worker(Worker::Line2).scrolling = 0;
  } else if (line != 0) {
    WorkerControl& own = s_.worker(WorkerOfLine(line));
    if (!own.scrolling && !s_.line(line).blink) return;
    // The wait for line 1's frame has always had the shorter bound (engine_internal.h).
    const uint32_t bound = line == 1 ? kCursorSequenceTimeout : kWorkerStopTimeout;
    waitStart = clock.Ticks();
    StopAfterFrame(WorkerOfLine(line), waitStart, bound);
    own.scrolling = 0;
  } else {
    Stop(Worker::Line1);
    Stop(Worker::Line2);
    for (int each = 1; each <= 2; ++each) {
      s_.worker(WorkerOfLine(each)).scrolling = 0;
      s_.worker(WorkerOfLine(each)).restart = 1;
    }
  }
  // The stopped line keeps its last frame. It no longer counts as started, nor as blinking: a
  // later start of the other line must not take it along into the combined worker (which would
  // pace that line at the blink's 250 ms and blank this one every step).
  for (int each = 1; each <= 2; ++each) {
    if (each == line || stoppedBoth) {
      s_.worker(WorkerOfLine(each)).started = 0;
      s_.line(each).blink = 0;
    }
  }
}

}  // namespace display

void MarqueeControl(POSLDisplay& so, int32_t value) {
  ModuleState& m = so.module();
  const int line = display::LineOfViewportRow(so.CurrentRecord().ViewportRow);
  display::Workers workers(m);
  if (value == DISP_MT_LEFT) {
    if (line != 0) workers.Walk(line);
  } else if (value == DISP_MT_NONE || value == DISP_MT_INIT) {
    workers.StopWalking(line, so.WaitStartTick);
  }
  // Right, up, down and any other value: the display has no such marquee.
}

}  // namespace kirnow
