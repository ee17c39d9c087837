// The port's one owner: the only code that opens, writes, reads, checks, reopens, confirms and
// repaints the device, on the port's own thread. It serves the steps writers hand it in their
// order (a unit's bytes one at a time under the stall rule, serial_port.h), and between steps it
// runs the keeper's rounds (keeper.cpp), so no writer can keep a round out. Its state is its own;
// others see only what it publishes in PortStatus, and what it tells its recorder
// (port_recording.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/serial/serial_device.h"
#include "serviceobject/port/identity_exchange.h"
#include "serviceobject/port/port_recorder.h"
#include "serviceobject/port/port_step.h"
#include "serviceobject/port/screen_mirror.h"
#include "serviceobject/port/step_queue.h"

namespace kirnow::port {

// What the owner publishes for other threads to read (single writer: the owner).
struct PortStatus {
  std::atomic<bool> opened{false};
  std::atomic<bool> dead{false};
  std::atomic<bool> stalled{false};
  std::atomic<bool> repaintDue{false};
  std::atomic<int> deathError{0};
};

class PortOwner final : private ExchangeLine {
 public:
  PortOwner(platform::SerialDevice& device, platform::Clock& clock, StepQueue& queue,
            PortStatus& status, PortRecorder& recorder)
      : device_(device), clock_(clock), queue_(queue), status_(status), recorder_(recorder) {}

  // The thread's body: serves steps and keeps the port until a Close step has been served or
  // `keepGoing` is cleared (and the queue woken). Steps left then are dropped.
  void Run(const std::atomic<int32_t>& keepGoing);
  // The mirror, for a look while no owner thread runs.
  const ScreenMirror& Mirror() const { return mirror_; }

 private:
  void ServeAll();
  void ServeSends();
  void Serve(Step& step);
  void Open(Step& step);
  void Close();
  void Send(Step& step);
  void Identify(Step& step);
  // One byte of the open unit: false when it did not reach the wire (dropped by the stall rule,
  // lost to a line error, or only mirrored while the port is dead).
  bool WriteUnitByte(uint8_t byte);
  void EndUnit();
  // The device failed: it is closed; the keeper reopens it.
  void Die();
  void Publish();

  // The keeper's steps (keeper.cpp).
  void KeepRound();
  void Reopen();
  // Paints the mirror on a device taken back, unless the display still does not read. Stops at
  // the first byte that times out (stalled then) or fails, at a removal and at a stop;
  // repaintDue_ stays set until it went out whole.
  void Repaint();
  bool AsksAsTheDisplay();

  // What the recorder is told (port_recording.cpp); each returns at once when nobody records.
  Fate FateOf(bool sent) const;  // of a byte WriteUnitByte has just had
  void RecordUnit(const std::vector<uint8_t>& bytes, const std::vector<Fate>& fates);
  void Note(PortNote::Kind kind, int osError = 0, size_t bytes = 0);
  void NoteOpenFailed(int32_t portNumber);
  void NoteStall(bool wasStalled);
  // The keeper's failed reopens, each told only when it differs from the last one.
  void NoteReopen(PortNote::Kind kind, int osError = 0);
  void RecordRepaint(const std::vector<uint8_t>& bytes, size_t written);
  // The identity exchange's bytes: a query's bytes as one unit, an answer's as one read.
  void TapWrite(uint8_t byte, Fate fate);
  void TapRead(const uint8_t* bytes, int32_t count);
  void FlushTap();

  // ExchangeLine: the identity exchange on the open device. The keeper and a confirming open
  // ask the device directly (no writer's byte reaches it until it has answered); OpenService's
  // query is a unit of its own.
  bool Write(uint8_t byte) override;
  int32_t Waiting() override;
  int32_t Read(uint8_t* buffer, int32_t count) override;
  bool Pause(uint32_t ms, int32_t enough) override;

  platform::SerialDevice& device_;
  platform::Clock& clock_;
  StepQueue& queue_;
  PortStatus& status_;
  PortRecorder& recorder_;
  const std::atomic<int32_t>* keepGoing_ = nullptr;  // the running thread's stop flag
  ScreenMirror mirror_;
  bool opened_ = false;
  bool confirmed_ = false;  // the device has answered as the display, or the record says so
  bool dead_ = false;       // a removal closed the device; the keeper reopens it
  bool stalled_ = false;    // a byte timed out and the driver has not taken bytes since
  bool dropRest_ = false;   // a byte of the open unit timed out
  bool repaintDue_ = false;
  bool askingDirectly_ = false;  // the exchange writes to the device itself (see Write)
  bool ending_ = false;          // a Close was served: the thread ends
  int deathError_ = 0;
  int32_t portNumber_ = 0, baud_ = 0;
  // The recorder's: the last failed reopen told, and the exchange's bytes not told yet.
  PortNote::Kind lastReopen_ = PortNote::Kind::Reopened;
  int lastReopenError_ = 0;
  std::vector<uint8_t> tapBytes_;
  std::vector<Fate> tapFates_;
  bool tapReading_ = false;
};

// Microseconds that `bytes` take on the wire at `baud` (10 bits each: start, 8 data, stop).
uint64_t WireMicros(size_t bytes, uint32_t baud);

}  // namespace kirnow::port
