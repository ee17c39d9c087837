// The workers' controller: starting, stopping and replacing the marquee and blink workers, and
// the hand-off of text to the worker that drives the display.
#include "serviceobject/display/workers.h"

#include "serviceobject/display/display_engine.h"
#include "serviceobject/display/engine_internal.h"

namespace kirnow::display {

namespace {

using Body = void (*)(ModuleState&, WorkerState&, WorkerRun&);

Body BodyOf(Worker w) {
  if (w == Worker::Line1) return &FirstThread;
  if (w == Worker::Line2) return &SecondThread;
  return &thirdThread;
}

}  // namespace

bool Workers::Running(Worker w) const { return s_.worker(w).keepRunning() != 0; }

Drive Workers::Driver() const {
  if (Running(Worker::Combined)) return Drive::Combined;
  if (Running(Worker::Line1)) return Drive::Line1;
  if (Running(Worker::Line2)) return Drive::Line2;
  return Drive::Idle;
}

bool Workers::Driving() const {
  const bool lineBusy = s_.worker(Worker::Line1).scrolling || s_.worker(Worker::Line2).scrolling ||
                        s_.line(1).blink || s_.line(2).blink;
  return lineBusy &&
         (Running(Worker::Line1) || Running(Worker::Line2) || Running(Worker::Combined));
}

void Workers::Stop(Worker w) {
  platform::RecursiveHold control(d_.controlLock);
  WorkerControl& c = s_.worker(w);
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

void Workers::StopAfterFrame(Worker w, uint32_t waitStart, uint32_t boundMs) {
  platform::RecursiveHold control(d_.controlLock);
  WorkerControl& c = s_.worker(w);
  c.restart = 1;
  if (c.run) {
    WorkerRun& run = *c.run;
    run.keepRunning = 0;
    platform::WaitUntil(m_.platform.clock, waitStart, boundMs, [&] { return run.inFrame == 0; });
  }
  Stop(w);
}

void Workers::StopAll() {
  platform::RecursiveHold control(d_.controlLock);
  for (Worker w : {Worker::Line1, Worker::Line2, Worker::Combined}) Stop(w);
}

void Workers::ClearWalks() {
  platform::RecursiveHold control(d_.controlLock);
  platform::MutexHold hold(d_.textLock);
  for (const WorkerControl& c : s_.workers) {
    if (const std::shared_ptr<WorkerRun>& run = c.run) {
      for (auto& walk : run->walks) walk.scroll.fill('\0');
    }
  }
}

void Workers::Start(Worker w) {
  platform::RecursiveHold control(d_.controlLock);
  if (w == Worker::Combined) {
    // The combined worker drives both lines: no single-line worker may run beside it.
    Stop(Worker::Line1);
    Stop(Worker::Line2);
  }
  Stop(w);
  m_.stopWorkers = &StopAllWorkers;  // the module stops what runs before it goes away
  WorkerControl& c = s_.worker(w);
  auto run = std::make_shared<WorkerRun>();
  c.run = run;
  const Body body = BodyOf(w);
  ModuleState& m = m_;
  WorkerState& s = s_;
  ++s.threadsAlive;
  try {
    // A worker holds precise timing while it runs (on Windows, where needed, a raised timer
    // resolution): the last one to end releases it. Counted alive until its last step here.
    c.thread = m.platform.clock.StartThread([&m, &s, body, run] {
      {
        platform::PreciseTiming precise(m.platform.clock);
        body(m, s, *run);
      }
      --s.threadsAlive;
    });
  } catch (...) {
    --s.threadsAlive;
    run->keepRunning = 0;
    run->ended = 1;
    throw;
  }
}

void Workers::StartCombinedUnlessRunning() {
  platform::RecursiveHold control(d_.controlLock);
  if (Running(Worker::Combined)) return;
  s_.worker(Worker::Combined).started = 1;
  Start(Worker::Combined);
}

void Workers::RestartCombined() {
  platform::RecursiveHold control(d_.controlLock);
  s_.worker(Worker::Combined).started = 1;
  Start(Worker::Combined);
}

void Workers::HandOff(int line, std::string_view text, uint32_t& waitStart) {
  platform::Clock& clock = m_.platform.clock;
  waitStart = clock.Ticks();
  platform::WaitUntil(clock, waitStart, kTextAtTimeout, [&] { return s_.handOffPending == 0; });
  StoreLine(d_, line, text);
  s_.handOffPending = 1;
}

void Workers::EndBlink(int line) {
  if (line == 1 || line == 2) s_.line(line).blink = 0;
}

WorkersSnapshot Workers::Snapshot() const {
  WorkersSnapshot shot{};
  for (size_t i = 0; i < s_.workers.size(); ++i) {
    const WorkerControl& c = s_.workers[i];
    shot.workers[i] = {c.started, c.scrolling, c.restart, c.inFrame(), c.keepRunning(), c.ended()};
  }
  shot.blink = {s_.line(1).blink, s_.line(2).blink};
  shot.handOffPending = s_.handOffPending;
  return shot;
}

}  // namespace kirnow::display

namespace kirnow {

void StopAllWorkers(ModuleState& module) { display::Workers(module).StopAll(); }

bool WorkerThreadsAlive(ModuleState& module) { return display::Workers(module).ThreadsAlive(); }

}  // namespace kirnow
