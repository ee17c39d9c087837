// The marquee control, run when a MarqueeType value has been stored: starts the walking text on
// the current window's line, switches to the combined worker when the other line is busy too,
// and stops the line's worker for DISP_MT_NONE and DISP_MT_INIT.
#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/display_engine.h"
#include "serviceobject/display/engine_internal.h"

namespace kirnow {

namespace {

// Starts the combined worker unless it runs already.
void StartCombined(ModuleState& m) {
  DisplayShared& d = m.display;
  if (d.Susp_Thread3_f) return;
  d.Thread3_f = 1;
  display::StartWorker(m, 3);
}

// Line `line` should walk. `own...` are that line's flags, `other...` the other line's.
void StartWalking(ModuleState& m, int line) {
  DisplayShared& d = m.display;
  const int other = line == 1 ? 2 : 1;
  std::atomic<int32_t>& ownKeepRunning = line == 1 ? d.Susp_Thread1_f : d.Susp_Thread2_f;
  std::atomic<int32_t>& ownStarted = line == 1 ? d.Thread1_f : d.Thread2_f;
  std::atomic<int32_t>& ownEnable = line == 1 ? d.Scroll1_Enable : d.Scroll2_Enable;
  std::atomic<int32_t>& otherStarted = line == 1 ? d.Thread2_f : d.Thread1_f;
  std::atomic<int32_t>& otherEnable = line == 1 ? d.Scroll2_Enable : d.Scroll1_Enable;
  std::atomic<uint8_t>& otherBlink = line == 1 ? d.blink_low : d.blink_up;

  if (d.Thread3_f) d.Thread3_f = 0;
  if (!otherStarted && !otherBlink) {
    if (ownKeepRunning) return;  // the line walks already
    // The combined worker walks this line already; a second worker would fight it for the line.
    if (display::WorkerRunning(m, 3)) return;
    display::StartWorker(m, line);
    ownStarted = 1;
    ownEnable = 1;
  } else {
    // The other line is busy: its single-line worker gives way to the combined one.
    otherEnable = 0;
    display::StopWorker(m, other);
    StartCombined(m);
  }
}

void StopWalking(POSLDisplay& so, int32_t viewportRow) {
  ModuleState& m = so.module();
  DisplayShared& d = m.display;
  platform::Clock& clock = m.platform.clock;
  // The combined worker is stopped whenever it runs, also when a later start request has
  // cleared its started flag.
  const bool stoppedBoth =
      d.Thread3_f || display::WorkerRunning(m, 3) || (viewportRow != 0 && viewportRow != 1);
  if (d.Thread3_f || display::WorkerRunning(m, 3)) {
    d.Thread3_f = 0;
    d.Threadhd3_restart = 1;
    display::WaitUntil(clock, clock.Ticks(), display::kWorkerStopTimeout,
                       [&] { return d.void_1f24_f_3 == 0; });
    display::StopWorker(m, 3);
    d.Scroll1_Enable = 0;
    d.Scroll2_Enable = 0;
  } else if (viewportRow == 0) {
    if (!d.Scroll1_Enable && !d.blink_up) return;
    d.Threadhd1_restart = 1;
    so.WaitStartTick = clock.Ticks();
    d.Susp_Thread1_f = 0;
    display::WaitUntil(clock, so.WaitStartTick, display::kCursorSequenceTimeout,
                       [&] { return d.void_1f24_f_1 == 0; });
    display::StopWorker(m, 1);
    d.Scroll1_Enable = 0;
  } else if (viewportRow == 1) {
    if (!d.Scroll2_Enable && !d.blink_low) return;
    d.Threadhd2_restart = 1;
    display::WaitUntil(clock, clock.Ticks(), display::kWorkerStopTimeout,
                       [&] { return d.void_1f24_f_2 == 0; });
    display::StopWorker(m, 2);
    d.Scroll2_Enable = 0;
  } else {
    display::StopWorker(m, 1);
    display::StopWorker(m, 2);
    d.Scroll1_Enable = 0;
    d.Scroll2_Enable = 0;
    d.Threadhd1_restart = 1;
    d.Threadhd2_restart = 1;
  }
  // The stopped line keeps its last frame. It no longer counts as started, nor as blinking: a
  // later start of the other line must not take it along into the combined worker (which would
  // pace that line at the blink's 250 ms and blank this one every step).
  if (viewportRow == 0 || stoppedBoth) {
    d.Thread1_f = 0;
    d.blink_up = 0;
  }
  if (viewportRow == 1 || stoppedBoth) {
    d.Thread2_f = 0;
    d.blink_low = 0;
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
