// The blink control, run by DisplayTextAt with the blink attribute after the text is in the
// line buffer: makes the window's line blink, starting a worker for it or switching to the
// combined worker when the other line is busy.
#include "serviceobject/display/engine_internal.h"
#include "serviceobject/display/workers.h"

namespace kirnow::display {

namespace {

// Stops a single-line worker that drives a line which now needs the combined worker.
void StopSingle(Workers& workers, DisplayShared& d, int line) {
  WorkerControl& c = d.worker(WorkerOfLine(line));
  c.scrolling = 0;
  c.started = 0;
  workers.Stop(WorkerOfLine(line));
}

// Starts the single-line worker of `line`, unless the combined worker drives the display: then
// that one is restarted to take the blinking line up.
void StartSingle(Workers& workers, DisplayShared& d, int line) {
  if (workers.Running(kCombinedWorker)) {
    workers.RestartCombined();
    return;
  }
  WorkerControl& c = d.worker(WorkerOfLine(line));
  c.scrolling = 1;
  c.started = 1;
  workers.Start(WorkerOfLine(line));
}

}  // namespace

void BlinkControl(ModuleState& m, int32_t viewportRow, std::string_view text) {
  DisplayShared& d = m.display;
  Workers workers(m);
  std::lock_guard<std::recursive_mutex> control(d.controlLock);
  std::atomic<uint8_t>& blinkUp = d.line(1).blink;
  std::atomic<uint8_t>& blinkLow = d.line(2).blink;
  if (workers.Running(kCombinedWorker) && blinkUp && blinkLow) {
    workers.Stop(kCombinedWorker);
    blinkUp = 0;
    blinkLow = 0;
  }
  if (viewportRow == 0) {
    blinkUp = 1;
    StoreLine(d, 1, text);
  } else if (viewportRow == 1) {
    StoreLine(d, 2, text);
    blinkLow = 1;
  }

  const bool line1Runs = workers.Running(kLine1Worker);
  const bool line2Runs = workers.Running(kLine2Worker);
  if (blinkUp) {
    if (line1Runs && blinkLow) {
      StopSingle(workers, d, 1);
      workers.RestartCombined();
    } else if (line2Runs || blinkLow) {
      StopSingle(workers, d, 2);
      workers.RestartCombined();
    } else if (line1Runs) {
      // The running line-1 worker takes the blink up at its next step.
    } else {
      StartSingle(workers, d, 1);
    }
  } else {
    if (!blinkLow || workers.Running(kCombinedWorker)) return;
    if (line1Runs) {
      StopSingle(workers, d, 1);
      workers.RestartCombined();
    } else if (line2Runs) {
      // The running line-2 worker takes the blink up at its next step.
    } else {
      StartSingle(workers, d, 2);
    }
  }
}

}  // namespace kirnow::display
