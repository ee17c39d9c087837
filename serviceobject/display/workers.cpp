// The workers' controller: starting, stopping and replacing the marquee and blink workers, and
// the hand-off of text to the worker that drives the display.
#include "serviceobject/display/workers.h"

#include "serviceobject/display/display_engine.h"
#include "serviceobject/display/engine_internal.h"

namespace kirnow::display {

namespace {

using Body = void (*)(ModuleState&);

Body BodyOf(int worker) {
  if (worker == kLine1Worker) return &FirstThread;
  if (worker == kLine2Worker) return &SecondThread;
  return &thirdThread;
}

}  // namespace

bool Workers::Running(int worker) const { return d_.worker(worker).keepRunning != 0; }

bool Workers::Driving() const {
  const bool lineBusy = d_.worker(kLine1Worker).scrolling || d_.worker(kLine2Worker).scrolling ||
                        d_.line(1).blink || d_.line(2).blink;
  return lineBusy && (Running(kLine1Worker) || Running(kLine2Worker) || Running(kCombinedWorker));
}

void Workers::Stop(int worker) {
  std::lock_guard<std::recursive_mutex> control(d_.controlLock);
  WorkerControl& c = d_.worker(worker);
  c.keepRunning = 0;
  if (!c.thread.joinable()) return;
  platform::Clock& clock = m_.platform.clock;
  clock.Interrupt();  // a worker in its tick wait sees the cleared flag now
  // The worker finishes its current step; once joined it writes nothing more. One that does not
  // end within the bound (it cannot: its longest wait is one byte's time-out) is let go rather
  // than waited for without end, and ends at its next look at its flag.
  if (WaitUntil(clock, clock.Ticks(), kWorkerStopTimeout, [&] { return c.ended != 0; })) {
    c.thread.join();
  } else {
    m_.trace.Record("\nworker not stopped in time: let go\n");
    c.thread.detach();
  }
}

void Workers::StopAfterFrame(int worker, uint32_t waitStart, uint32_t boundMs) {
  std::lock_guard<std::recursive_mutex> control(d_.controlLock);
  WorkerControl& c = d_.worker(worker);
  c.restart = 1;
  c.keepRunning = 0;
  WaitUntil(m_.platform.clock, waitStart, boundMs, [&] { return c.inFrame == 0; });
  Stop(worker);
}

void Workers::StopAll() {
  std::lock_guard<std::recursive_mutex> control(d_.controlLock);
  for (int worker = kLine1Worker; worker <= kCombinedWorker; ++worker) Stop(worker);
}

void Workers::Start(int worker) {
  std::lock_guard<std::recursive_mutex> control(d_.controlLock);
  if (worker == kCombinedWorker) {
    // The combined worker drives both lines: no single-line worker may run beside it.
    Stop(kLine1Worker);
    Stop(kLine2Worker);
  }
  Stop(worker);
  WorkerControl& c = d_.worker(worker);
  c.keepRunning = 1;
  // Counted as inside its loop from now on, not only once the thread has been scheduled.
  c.ended = 0;
  const Body body = BodyOf(worker);
  ModuleState& m = m_;
  // A worker holds precise timing while it runs (on Windows, where needed, a raised timer
  // resolution): the last one to end releases it.
  c.thread = m.platform.clock.StartThread([&m, body] {
    platform::PreciseTiming precise(m.platform.clock);
    body(m);
  });
}

void Workers::StartCombinedUnlessRunning() {
  std::lock_guard<std::recursive_mutex> control(d_.controlLock);
  if (Running(kCombinedWorker)) return;
  d_.worker(kCombinedWorker).started = 1;
  Start(kCombinedWorker);
}

void Workers::RestartCombined() {
  std::lock_guard<std::recursive_mutex> control(d_.controlLock);
  d_.worker(kCombinedWorker).started = 1;
  Start(kCombinedWorker);
}

void Workers::HandOff(int line, std::string_view text, uint32_t& waitStart) {
  platform::Clock& clock = m_.platform.clock;
  waitStart = clock.Ticks();
  WaitUntil(clock, waitStart, kTextAtTimeout, [&] { return d_.handOffPending == 0; });
  StoreLine(d_, line, text);
  d_.handOffPending = 1;
}

}  // namespace kirnow::display

namespace kirnow {

void StopAllWorkers(ModuleState& module) { display::Workers(module).StopAll(); }

}  // namespace kirnow
