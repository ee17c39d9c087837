// The field trace: with "Trace"="1" under the device's entry, every call, every byte on the wire
// and every turn of the port's life goes to a text file of the process's own, one line per
// event (trace_text.h), without a rebuild and without a cost to the till.
//
// A record never waits for the disk: the thread that makes it formats its line and hands it to
// a bounded queue (trace_queue.h); one writer thread drains the queue into the files
// (trace_file.h). The writer is started by the first OpenService that switches the trace on and
// runs until the last service object is released (Stop), as the marquee workers do; it is
// never joined where the loader's lock is held: a Stop waits for it at most kStopMs, sleeping,
// and lets go one that a disk keeps longer, with its own state. It takes no reference to the
// library (the library is pinned before any of its threads runs).
//
// A folder that cannot be made or written turns the trace off for the rest of that session;
// the next session that can write says so in its first line. Nothing is shown to the user and
// nothing fails.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/clock/clock.h"
#include "platform/clock/thread.h"
#include "platform/files/files.h"
#include "platform/host/host.h"
#include "platform/sync/thread_safety.h"
#include "serviceobject/port/port_recorder.h"
#include "serviceobject/trace/trace_settings.h"

namespace kirnow {

class FieldTrace final : public port::PortRecorder {
 public:
  static constexpr size_t kQueueBytes = 1u << 20;
  static constexpr uint32_t kStopMs = 1000;

  FieldTrace(platform::Clock& clock, platform::Files& files, platform::Host& host,
             size_t queueBytes = kQueueBytes);
  ~FieldTrace() override;  // stops the writer
  FieldTrace(const FieldTrace&) = delete;
  FieldTrace& operator=(const FieldTrace&) = delete;

  // At each OpenService, with the settings its device entry holds: on, the session's header is
  // the next line and the writer runs; off, records stop at once and the files are closed.
  void Begin(const trace::Settings& settings, std::string_view deviceName);
  // Records are taken (a cheap look, for any thread).
  bool On() const;

  // A record of `kind` (trace_text.h's kind::...), from any thread. A record that cannot be
  // made (no memory) is lost; the caller never learns of it.
  void Post(std::string_view kind, std::string_view text) noexcept;
  // The same with a text that `makeText()` makes only when the trace is on.
  template <typename MakeText>
  requires std::is_invocable_r_v<std::string, MakeText&>
  void Post(std::string_view kind, MakeText&& makeText) noexcept {
    if (!On()) return;
    try {
      Post(kind, std::string_view(makeText()));
    } catch (...) {
    }
  }

  // Records stop; the writer writes what is queued and ends (see above). At the last service
  // object's release and when the module goes.
  void Stop();
  // A writer thread runs the library's code, one let go by a Stop included.
  bool WriterAlive() const;

  // port::PortRecorder, on the port's owner thread.
  bool Recording() const override { return On(); }
  void Unit(int32_t port, std::span<const uint8_t> bytes,
            std::span<const port::Fate> fates) override;
  void Read(int32_t port, std::span<const uint8_t> bytes) override;
  void Note(const port::PortNote& note) override;

 private:
  struct Core;  // what the writer shares, and keeps when it is let go
  struct WriterRun;

  void StartWriterLocked() KIRNOW_REQUIRES(lifeLock_);
  void StopWriterLocked() KIRNOW_REQUIRES(lifeLock_);

  // Shared with every writer thread, so that one let go by a Stop never outlives what it uses.
  const std::shared_ptr<Core> core_;
  platform::Mutex lifeLock_;  // Begin and Stop, should two threads ever call them
  platform::Thread writer_ KIRNOW_GUARDED_BY(lifeLock_);
  std::shared_ptr<WriterRun> run_ KIRNOW_GUARDED_BY(lifeLock_);
};

}  // namespace kirnow
