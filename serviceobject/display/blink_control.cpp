// The workers' controller's blink, run by DisplayTextAt with the blink attribute once the text
// is in the line buffer: makes the window's line blink, starting a worker for it or switching to
// the combined worker when the other line is busy.
#include "serviceobject/display/engine_internal.h"
#include "serviceobject/display/workers.h"

namespace kirnow::display {

void Workers::GiveWay(int line) {
  WorkerControl& c = s_.worker(WorkerOfLine(line));
  c.scrolling = 0;
  c.started = 0;
  Stop(WorkerOfLine(line));
}

void Workers::StartBlinking(int line) {
  if (Running(Worker::Combined)) {
    RestartCombined();
    return;
  }
  WorkerControl& c = s_.worker(WorkerOfLine(line));
  c.scrolling = 1;
  c.started = 1;
  Start(WorkerOfLine(line));
}

void Workers::Blink(int line) {
  platform::RecursiveHold control(d_.controlLock);
  std::atomic<uint8_t>& blinkUp = s_.line(1).blink;
  std::atomic<uint8_t>& blinkLow = s_.line(2).blink;
  if (Running(Worker::Combined) && blinkUp && blinkLow) {
    Stop(Worker::Combined);
    blinkUp = 0;
    blinkLow = 0;
  }
  if (line == 1 || line == 2) s_.line(line).blink = 1;

  const bool line1Runs = Running(Worker::Line1);
  const bool line2Runs = Running(Worker::Line2);
  if (blinkUp) {
    if (line1Runs && blinkLow) {
      GiveWay(1);
      RestartCombined();
    } else if (line2Runs || blinkLow) {
      GiveWay(2);
      RestartCombined();
    } else if (line1Runs) {
      // The running line-1 worker takes the blink up at its next step.
    } else {
      StartBlinking(1);
    }
  } else {
    if (!blinkLow || Running(Worker::Combined)) return;
    if (line1Runs) {
      GiveWay(1);
      RestartCombined();
    } else if (line2Runs) {
      // The running line-2 worker takes the blink up at its next step.
    } else {
      StartBlinking(2);
    }
  }
}

}  // namespace kirnow::display
