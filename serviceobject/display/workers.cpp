// The workers' controller: starting, stopping and replacing the marquee and blink workers, and
// the hand-off of text to the worker that drives the display.
#include "serviceobject/display/workers.h"

#include "serviceobject/display/display_engine.h"
#include "serviceobject/display/engine_internal.h"

namespace kirnow::display {

namespace {

using Body = void (*)(ModuleState&, WorkerRun&);

Body BodyOf(int worker) {
  if (worker == kLine1Worker) return &FirstThread;
  if (worker == kLine2Worker) return &SecondThread;
  return &thirdThread;
}

}  // namespace

bool Workers::Running(int worker) const { return d_.worker(worker).keepRunning() != 0; }

bool Workers::Driving() const {
  const bool lineBusy = d_.worker(kLine1Worker).scrolling || d_.worker(kLine2Worker).scrolling ||
                        d_.line(1).blink || d_.line(2).blink;
  return lineBusy && (Running(kLine1Worker) || Running(kLine2Worker) || Running(kCombinedWorker));
}

void Workers::Stop(int worker) {
  std::lock_guard<std::recursive_mutex> control(d_.controlLock);
  WorkerControl& c = d_.worker(worker);
  if (!c.run) return;
  WorkerRun& run = *c.run;
  run.keepRunning = 0;
  if (!c.thread.joinable()) return;
  platform::Clock& clock = m_.platform.clock;
  clock.Interrupt();  // a worker in its tick wait sees the cleared flag now
  // The worker finishes its current step; once joined it writes nothing more. One that does not
  // end within the bound (its longest wait is one byte's time-out) is let go rather than waited
  // for without end: it keeps its run, sends nothing more and ends at its next look at its flag.
  if (!platform::WaitUntil(clock, clock.Ticks(), kWorkerStopTimeout,
                           [&] { return run.ended != 0; })) {
    run.letGo = true;
    if (run.ended == 0) {
      m_.trace.Record("\nworker not stopped in time: let go\n");
      c.thread.detach();
      return;
    }
  }
  c.thread.join();
}

void Workers::StopAfterFrame(int worker, uint32_t waitStart, uint32_t boundMs) {
  std::lock_guard<std::recursive_mutex> control(d_.controlLock);
  WorkerControl& c = d_.worker(worker);
  c.restart = 1;
  if (c.run) {
    WorkerRun& run = *c.run;
    run.keepRunning = 0;
    platform::WaitUntil(m_.platform.clock, waitStart, boundMs, [&] { return run.inFrame == 0; });
  }
  Stop(worker);
}

void Workers::StopAll() {
  std::lock_guard<std::recursive_mutex> control(d_.controlLock);
  for (int worker = kLine1Worker; worker <= kCombinedWorker; ++worker) Stop(worker);
}

void Workers::ClearWalks() {
  std::lock_guard<std::recursive_mutex> control(d_.controlLock);
  std::lock_guard<std::mutex> hold(d_.textLock);
  for (int worker = kLine1Worker; worker <= kCombinedWorker; ++worker) {
    if (const std::shared_ptr<WorkerRun>& run = d_.worker(worker).run) {
      for (Walk& walk : run->walks) walk.scroll.fill('\0');
    }
  }
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
  auto run = std::make_shared<WorkerRun>();
  c.run = run;
  const Body body = BodyOf(worker);
  ModuleState& m = m_;
  DisplayShared& d = d_;
  ++d.threadsAlive;
  try {
    // A worker holds precise timing while it runs (on Windows, where needed, a raised timer
    // resolution): the last one to end releases it. Counted alive until its last step here.
    c.thread = m.platform.clock.StartThread([&m, &d, body, run] {
      {
        platform::PreciseTiming precise(m.platform.clock);
        body(m, *run);
      }
      --d.threadsAlive;
    });
  } catch (...) {
    --d.threadsAlive;
    run->keepRunning = 0;
    run->ended = 1;
    throw;
  }
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
  platform::WaitUntil(clock, waitStart, kTextAtTimeout, [&] { return d_.handOffPending == 0; });
  StoreLine(d_, line, text);
  d_.handOffPending = 1;
}

}  // namespace kirnow::display

namespace kirnow {

void StopAllWorkers(ModuleState& module) { display::Workers(module).StopAll(); }

}  // namespace kirnow
