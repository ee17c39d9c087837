// The one serial port of the library (`Port`). Who may do what:
// - The port's owner (port_owner.h), one thread from Open to Close, is the only code that
//   touches the device: it opens, writes, reads, checks, reopens, confirms and repaints it.
// - Every other thread (the caller's, the marquee and blink workers) hands it whole units (a
//   command, a frame, a text's bytes) and steps (open, confirm, close, the identity exchange)
//   through the step queue, and waits for its own to be served. Each writer's bytes go out once
//   and in its order; a unit is never split by another's bytes.
// - Open and Close are the caller's thread's (the COM methods' call lock orders them).
//
// A display that stops reading: the device waits up to 1000 ms for a byte. Once one byte has
// timed out the port is stalled: the rest of that unit is dropped at once, and every later unit
// too, until the driver takes bytes again without waiting (the display reads again). So a unit
// costs at most one time-out, and goes out whole or is dropped from the byte that timed out on.
// A write that fails for another reason than a removal (a line error, say) loses that byte only.
//
// A display that is unplugged: a write finds it gone, or the keeper's check does (keeper.cpp);
// the owner closes the device, goes on taking units into its mirror of the screen without
// sending them, and opens the port number again every 500 ms until the display answers there,
// then repaints it. A frame that does not reach the wire (port dead, closed, or stalled) costs
// its worker the time it would have taken on the wire, so no worker spins.
//
// Looking the number up and opening the device are the owner's steps too: a reopen whose lookup
// waits (on Linux for the registry store's lock, at most its brief wait) holds the units handed
// over meanwhile for that long, and no longer; while the keeper waits for a device's answer it
// goes on taking units into the mirror.
//
// Nothing reaches a device that has not been confirmed as the display: OpenService asks it
// itself (OpenToIdentify, Identify, Confirm); ClaimDevice's open is confirmed by the USB record
// or, where the record cannot tell, by the identity exchange; the keeper asks it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "displaymodel/display_model.h"
#include "platform/clock/clock.h"
#include "platform/clock/thread.h"
#include "platform/serial/serial_device.h"
#include "platform/sync/thread_safety.h"
#include "serviceobject/port/port_owner.h"
#include "serviceobject/port/port_step.h"
#include "serviceobject/port/step_queue.h"

namespace kirnow {

class SerialPort {
 public:
  // `recorder` hears what the owner does (port_recorder.h).
  SerialPort(platform::SerialDevice& device, platform::Clock& clock,
             port::PortRecorder& recorder = port::NoRecorder())
      : clock_(clock), queue_(clock), owner_(device, clock, queue_, status_, recorder) {}
  ~SerialPort() { Close(); }
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the port for ClaimDevice: true when it is open afterwards and the device confirmed
  // as the display (by the USB record, else by the identity exchange). An open port is not
  // reopened, even for another port number or baud rate, unless it has died.
  bool Open(int32_t portNumber, int32_t baud) {
    return OpenFor(portNumber, baud, port::Confirmation::RecordOrQuery);
  }
  // Opens the port for OpenService, which asks the device itself: until Confirm (or Close),
  // nothing but Identify's query reaches the device. A port open and alive is kept as it is.
  bool OpenToIdentify(int32_t portNumber, int32_t baud) {
    return OpenFor(portNumber, baud, port::Confirmation::Later);
  }
  // OpenService's identity exchange with its fixed waits; `inByte` carries the reads.
  port::IdentityReplies Identify(uint8_t& inByte);
  // The device has answered as the display: every writer's units go out again.
  void Confirm();
  bool Close();  // always true; the owner closes the device and ends

  // Sends the first `length` bytes as one unit; returns length (0 when closed or length <= 0).
  // Failures are not reported: what the port could not send, the repaint after a reconnect
  // shows, or the stall rule dropped.
  int32_t SendData(const uint8_t* buffer, int32_t length);
  template <size_t N>
  void SendData(const std::array<uint8_t, N>& command) {
    SendData(command.data(), static_cast<int32_t>(N));
  }
  void SendByte(uint8_t byte) { SendData(&byte, 1); }
  // Sends a unit built of several commands and texts.
  void Send(port::Unit unit);
  // A worker's frame: false, and nothing sent, once `letGo` is set (before it went out).
  // `missedMicros`: the wire time of what did not reach the wire (the port dead, closed or
  // stalled), which the worker waits so that it never spins.
  bool SendFrame(port::Unit unit, const std::atomic<bool>& letGo, uint64_t& missedMicros);

  bool Opened() const { return attached_ && status_.opened; }
  // True while the display has stopped reading (a byte timed out, the driver took none since).
  bool Stalled() const { return status_.stalled; }
  // True from a failed write or check until the port is open again.
  bool Dead() const { return status_.dead; }
  // The OS error of the write or check that found the port dead (errno, GetLastError); 0 before.
  int DeathError() const { return status_.deathError; }
  // True while an owner thread runs (from an Open until Close), or one that a Close let go past
  // its bound has not ended yet.
  bool Keeping() const { return owners_ != 0; }
  // True from the reopening of a port that died until its repaint has gone out whole.
  bool RepaintDue() const { return status_.repaintDue; }
  // What the port takes the display to show.
  displaymodel::DisplayModel Screen();

 private:
  // One owner thread's flags, held by the thread and by the port until it is stopped.
  struct OwnerRun {
    std::atomic<int32_t> keepGoing{1};
    std::atomic<int32_t> running{1};
  };

  bool OpenFor(int32_t portNumber, int32_t baud, port::Confirmation confirmation);
  // Queues the step and waits until it is served; false when no owner took it, or `giveUp` was
  // set first (the step is then abandoned: the owner drops it unless it has begun).
  bool Hand(const std::shared_ptr<port::Step>& step, const std::atomic<bool>* giveUp = nullptr);
  bool StartOwnerLocked() KIRNOW_REQUIRES(lifeLock_);
  // Hands the owner a Close and waits for its thread to end, at most about one byte's time-out
  // and a unit; one that is still busy then is let go with its own flags.
  void StopOwnerLocked() KIRNOW_REQUIRES(lifeLock_);

  platform::Clock& clock_;
  port::StepQueue queue_;
  port::PortStatus status_;
  port::PortOwner owner_;
  platform::Mutex lifeLock_;  // Open and Close, should two threads ever call them
  platform::Thread ownerThread_ KIRNOW_GUARDED_BY(lifeLock_);
  std::shared_ptr<OwnerRun> ownerRun_ KIRNOW_GUARDED_BY(lifeLock_);
  std::atomic<bool> attached_{false};  // an owner thread takes steps and has not been let go
  std::atomic<int32_t> owners_{0};     // owner threads alive, a let-go one included
  std::atomic<uint32_t> baud_{9600};   // the rate last opened at: a frame's wire time when closed
};

}  // namespace kirnow
