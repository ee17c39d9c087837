// The field trace: the records' hand-over, the writer thread and its files (field_trace.h).
#include "serviceobject/trace/field_trace.h"

#include <utility>
#include <vector>

#include "kirnow_config.h"
#include "platform/registry/com_number_listener.h"
#include "serviceobject/trace/trace_file.h"
#include "serviceobject/trace/trace_queue.h"
#include "serviceobject/trace/trace_text.h"

namespace kirnow {
namespace {

// A writer with lines to write looks again after this long, so that a busy till's records go
// to the disk in batches and its thread wakes four times a second, not for every record (a Stop
// waits for that look); one that found nothing dozes until a record wakes it.
constexpr uint64_t kBatchMicros = 250000;
constexpr uint64_t kDozeMicros = 10000000;

// "kirnow-<process>-<pid>.log", with what a file name should not hold in the process's name
// written as '_'.
std::string FileName(std::string process, uint32_t pid) {
  for (char& c : process) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_';
    if (!plain) c = '_';
  }
  if (process.empty()) process = "process";
  return "kirnow-" + process + "-" + std::to_string(pid) + ".log";
}

}  // namespace

struct FieldTrace::Core {
  Core(platform::Clock& c, platform::Files& f, platform::Host& h, size_t queueBytes)
      : clock(c), files(f), host(h), queue(c, queueBytes) {}

  trace::Stamp StampNow() { return trace::Stamp{host.Now(), clock.Ticks(), host.ThreadId()}; }

  void Post(std::string_view kind, std::string_view text) noexcept {
    if (session == 0) return;
    try {
      queue.Push(trace::Line(StampNow(), kind, text));
    } catch (...) {
      // Out of memory: the record is lost, the caller goes on.
    }
  }

  platform::Clock& clock;
  platform::Files& files;
  platform::Host& host;
  trace::Queue queue;
  std::atomic<uint32_t> session{0};  // the session records are taken for; 0: none
  uint32_t sessions = 0;             // the last session's number (Begin's, under lifeLock_)
  std::atomic<int32_t> writersAlive{0};

  // Since when the trace has been off because its folder could not be written: said at the
  // start of the next session that writes. The writers'.
  struct Off {
    bool pending = false;
    platform::LocalTime since;
    std::string folder;
    int osError = 0;
  };
  platform::Mutex offLock;
  Off off KIRNOW_GUARDED_BY(offLock);
};

struct FieldTrace::WriterRun {
  explicit WriterRun(Core& c) : core(c), file(c.files) {}

  // The thread's body: writes what is queued, and sleeps between looks, until it is stopped and
  // the queue is empty.
  void Run() {
    while (true) {
      std::vector<trace::Entry> entries = core.queue.TakeAll();
      for (trace::Entry& entry : entries) Serve(entry);
      if (keepGoing == 0) {
        if (core.queue.Empty()) break;
        continue;
      }
      const bool dozes = entries.empty();
      core.queue.Wait(core.clock.Micros() + (dozes ? kDozeMicros : kBatchMicros), dozes, keepGoing);
    }
    file.Close();
  }

  void Serve(trace::Entry& entry) {
    switch (entry.kind) {
      case trace::Entry::Kind::Begin:
        return Open(std::move(entry.target), entry.line);
      case trace::Entry::Kind::End:
        file.Close();
        target.reset();
        return;
      case trace::Entry::Kind::Line:
        return Write(entry.line);
      case trace::Entry::Kind::Dropped:
        return Write(
            trace::Line(core.StampNow(), trace::kind::kTrace, trace::DroppedText(entry.dropped)));
    }
  }

  void Open(std::shared_ptr<const trace::Target> next, const std::string& header) {
    file.Close();
    target = std::move(next);
    int error = 0;
    if (!file.Open(target->folder, target->fileName, target->maxBytes, header, error)) {
      return Fail(error);
    }
    Write(header);
    Core::Off was;
    {
      platform::MutexHold hold(core.offLock);
      was = std::exchange(core.off, Core::Off{});
    }
    if (was.pending && target) {
      Write(trace::Line(
          core.StampNow(), trace::kind::kTrace,
          trace::OffText(was.since, was.folder, was.osError, core.host.ErrorText(was.osError))));
    }
  }

  void Write(std::string_view line) {
    if (!target || !file.IsOpen()) return;
    int error = 0;
    if (!file.Write(line, error)) Fail(error);
  }

  // The folder could not be made or written: nothing more is recorded in this session.
  void Fail(int osError) {
    file.Close();
    {
      platform::MutexHold hold(core.offLock);
      if (!core.off.pending) {
        core.off =
            Core::Off{true, core.host.Now(), target ? target->folder : std::string(), osError};
      }
    }
    uint32_t session = target ? target->session : 0;
    core.session.compare_exchange_strong(session, 0);
    target.reset();
  }

  Core& core;  // the Core outlives the run: the thread holds both
  std::atomic<int32_t> keepGoing{1};
  std::atomic<int32_t> running{1};
  // The thread's own.
  trace::TraceFile file;
  std::shared_ptr<const trace::Target> target;
};

FieldTrace::FieldTrace(platform::Clock& clock, platform::Files& files, platform::Host& host,
                       size_t queueBytes)
    : core_(std::make_shared<Core>(clock, files, host, queueBytes)) {}

FieldTrace::~FieldTrace() { Stop(); }

bool FieldTrace::On() const { return core_->session != 0; }

bool FieldTrace::WriterAlive() const { return core_->writersAlive != 0; }

void FieldTrace::Post(std::string_view kind, std::string_view text) noexcept {
  core_->Post(kind, text);
}

void FieldTrace::Begin(const trace::Settings& settings, std::string_view deviceName) {
  platform::MutexHold life(lifeLock_);
  Core& c = *core_;
  if (!settings.on) {
    c.session = 0;
    platform::SetComNumberListener({});
    if (writer_.joinable()) c.queue.PushControl(trace::Entry{trace::Entry::Kind::End, {}, {}, 0});
    return;
  }
  auto target = std::make_shared<trace::Target>();
  if (++c.sessions == 0) ++c.sessions;  // 0 stands for none
  target->session = c.sessions;
  target->folder = settings.folder.empty() ? c.files.DefaultTraceFolder() : settings.folder;
  const std::string process = c.host.ProcessName();
  target->fileName = FileName(process, c.host.ProcessId());
  target->maxBytes = settings.maxBytes;
  trace::Header header{KIRNOW_VERSION,
                       static_cast<int>(sizeof(void*) * 8),
                       process,
                       c.host.ProcessId(),
                       KIRNOW_USB_VID,
                       KIRNOW_USB_PID,
                       c.host.SystemVersion(),
                       std::string(deviceName),
                       target->folder,
                       target->maxBytes};
  std::string line = trace::Line(c.StampNow(), trace::kind::kStart, trace::HeaderText(header));
  const uint32_t session = target->session;
  c.queue.PushControl(
      trace::Entry{trace::Entry::Kind::Begin, std::move(line), std::move(target), 0});
  c.session = session;
  std::weak_ptr<Core> weak = core_;
  platform::SetComNumberListener([weak](const platform::ComNumberGiven& given) {
    if (const std::shared_ptr<Core> core = weak.lock()) {
      core->Post(trace::kind::kCom, trace::ComNumberText(given));
    }
  });
  StartWriterLocked();
}

void FieldTrace::Stop() {
  platform::MutexHold life(lifeLock_);
  if (core_->session != 0) platform::SetComNumberListener({});
  core_->session = 0;
  StopWriterLocked();
}

void FieldTrace::StartWriterLocked() {
  if (writer_.joinable()) return;
  auto run = std::make_shared<WriterRun>(*core_);
  std::shared_ptr<Core> core = core_;
  ++core->writersAlive;
  try {
    writer_ = core->clock.StartThread([core, run] {
      run->Run();
      run->running = 0;
      --core->writersAlive;
    });
  } catch (...) {
    // No thread: nothing is recorded in this session, and the session goes on.
    --core->writersAlive;
    core->session = 0;
    return;
  }
  run_ = std::move(run);
}

void FieldTrace::StopWriterLocked() {
  if (!writer_.joinable()) return;
  WriterRun& run = *run_;
  run.keepGoing = 0;
  core_->queue.Wake();
  platform::Clock& clock = core_->clock;
  if (platform::WaitUntil(clock, clock.Ticks(), kStopMs, [&] { return run.running == 0; })) {
    writer_.join();
  } else {
    // Still in a write that the disk does not finish: it ends after it, on its own run.
    writer_.detach();
  }
  run_.reset();
}

void FieldTrace::Unit(int32_t port, std::span<const uint8_t> bytes,
                      std::span<const port::Fate> fates) {
  Post(trace::kind::kWire, [&] { return trace::WireText(port, bytes, fates); });
}

void FieldTrace::Read(int32_t port, std::span<const uint8_t> bytes) {
  Post(trace::kind::kWire, [&] { return trace::ReadText(port, bytes); });
}

void FieldTrace::Note(const port::PortNote& note) {
  Post(trace::kind::kPort, [&] {
    return trace::NoteText(note, note.osError != 0 ? core_->host.ErrorText(note.osError) : "");
  });
}

}  // namespace kirnow
