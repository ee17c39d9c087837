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

namespace {

// What a blink does, by the lines that blink and the worker that drives the display.
enum class BlinkStep {
  None,           // the driving worker takes the blink up at its next step
  StartLine1,     // line 1's own worker blinks it (the combined one, when that runs)
  StartLine2,     // line 2's own worker blinks it
  Line1GivesWay,  // line 1's worker stops and the combined one starts over
  Line2GivesWay,  // line 2's worker (if it runs) stops and the combined one starts over
};

// Rows: line 1 blinks, line 2 blinks, both blink; columns: Drive.
// clang-format off
constexpr BlinkStep kBlinkSteps[3][4] = {
    // Idle                    Line1                     Line2                     Combined
    {BlinkStep::StartLine1,    BlinkStep::None,          BlinkStep::Line2GivesWay, BlinkStep::StartLine1},
    {BlinkStep::StartLine2,    BlinkStep::Line1GivesWay, BlinkStep::None,          BlinkStep::None},
    {BlinkStep::Line2GivesWay, BlinkStep::Line1GivesWay, BlinkStep::Line2GivesWay, BlinkStep::Line2GivesWay},
};
// clang-format on

}  // namespace

void Workers::Blink(int line) {
  platform::RecursiveHold control(d_.controlLock);
  std::atomic<uint8_t>& blinkUp = s_.line(1).blink;
  std::atomic<uint8_t>& blinkLow = s_.line(2).blink;
  if (Driver() == Drive::Combined && blinkUp && blinkLow) {
    Stop(Worker::Combined);
    blinkUp = 0;
    blinkLow = 0;
  }
  if (line == 1 || line == 2) s_.line(line).blink = 1;
  if (!blinkUp && !blinkLow) return;

  const int row = blinkUp && blinkLow ? 2 : blinkUp ? 0 : 1;
  switch (kBlinkSteps[row][static_cast<int>(Driver())]) {
    case BlinkStep::None:
      break;
    case BlinkStep::StartLine1:
      StartBlinking(1);
      break;
    case BlinkStep::StartLine2:
      StartBlinking(2);
      break;
    case BlinkStep::Line1GivesWay:
      GiveWay(1);
      RestartCombined();
      break;
    case BlinkStep::Line2GivesWay:
      GiveWay(2);
      RestartCombined();
      break;
  }
}

}  // namespace kirnow::display
