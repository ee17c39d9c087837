// The blink control, run by DisplayTextAt with the blink attribute after the text is in the
// line buffer: makes the window's line blink, starting a worker for it or switching to the
// combined worker when the other line is busy.
#include "serviceobject/display/engine_internal.h"

namespace kirnow::display {

namespace {

// Stops a single-line worker that drives a line which now needs the combined worker.
void StopSingle(ModuleState& m, int worker) {
  DisplayShared& d = m.display;
  if (worker == 1) {
    d.Scroll1_Enable = 0;
    d.Thread1_f = 0;
  } else {
    d.Scroll2_Enable = 0;
    d.Thread2_f = 0;
  }
  StopWorker(m, worker);
}

// Starts the combined worker afresh; one that runs already is replaced, so that it rebuilds its
// lines from the current text.
void StartCombined(ModuleState& m) {
  m.display.Thread3_f = 1;
  StartWorker(m, 3);
}

// Starts the single-line worker of `line`, unless the combined worker drives the display: then
// that one is restarted to take the blinking line up.
void StartSingle(ModuleState& m, int line) {
  DisplayShared& d = m.display;
  if (WorkerRunning(m, 3)) {
    StartCombined(m);
    return;
  }
  if (line == 1) {
    d.Scroll1_Enable = 1;
    d.Thread1_f = 1;
  } else {
    d.Scroll2_Enable = 1;
    d.Thread2_f = 1;
  }
  StartWorker(m, line);
}

}  // namespace

void BlinkControl(ModuleState& m, int32_t viewportRow, std::string_view text) {
  DisplayShared& d = m.display;
  std::lock_guard<std::recursive_mutex> control(d.controlLock);
  if (d.Susp_Thread3_f && d.blink_up && d.blink_low) {
    StopWorker(m, 3);
    d.blink_up = 0;
    d.blink_low = 0;
  }
  if (viewportRow == 0) {
    d.blink_up = 1;
    StoreLine(d, 1, text);
  } else if (viewportRow == 1) {
    StoreLine(d, 2, text);
    d.blink_low = 1;
  }

  if (d.blink_up) {
    if (d.Susp_Thread1_f && d.blink_low) {
      StopSingle(m, 1);
      StartCombined(m);
    } else if (d.Susp_Thread2_f || d.blink_low) {
      StopSingle(m, 2);
      StartCombined(m);
    } else if (d.Susp_Thread1_f) {
      // The running line-1 worker takes the blink up at its next step.
    } else {
      StartSingle(m, 1);
    }
  } else {
    if (!d.blink_low || d.Susp_Thread3_f) return;
    if (d.Susp_Thread1_f) {
      StopSingle(m, 1);
      StartCombined(m);
    } else if (d.Susp_Thread2_f) {
      // The running line-2 worker takes the blink up at its next step.
    } else {
      StartSingle(m, 2);
    }
  }
}

}  // namespace kirnow::display
