// The one serial port of the library (`Port`). Every byte for the display goes out through
// SendData, which sends a unit (a command, a text) one byte at a time, or SendByte, which sends
// one byte as a unit of its own. Writers from the caller's thread and from the worker threads
// are serialised by one lock: each caller's bytes go out once and in order, and a worker holds
// the lock for a whole frame (cursor move plus its characters, see LockFrame).
//
// A display that stops reading: the device waits up to 1000 ms for a byte. Once one byte has
// timed out the port is stalled: the rest of that frame or command is dropped at once, and
// every later frame or command is dropped at once too, until the driver takes bytes again
// without waiting (the display reads again). So a caller waits for at most one time-out of
// its own (or of the frame a worker was sending when the display stopped), never for one per
// byte, and a frame either goes out whole or is dropped from the byte that timed out on.
//
// A write that fails for another reason than a removal (a line error, say) loses that byte
// only, as a time-out-free failure always did; the device has cleared the error.
//
// A display that is unplugged: a write finds it gone, or, while nothing is written, the port's
// keeper thread finds it gone when it looks every 500 ms (on Linux EIO or a hang-up, on
// Windows the handle's errors after a surprise removal). The port closes the device and goes
// on taking bytes without sending them, and the keeper opens the same port number again every
// 500 ms. What it opens there gets no byte before it has answered the identity query as the
// display: another device may have been given the number meanwhile. Once the display is back
// the keeper initialises it and repaints the screen from the port's model of what it has drawn
// (and was asked to draw meanwhile); workers go on with their next frames. A display that is
// back but not reading yet cannot answer: each try costs the keeper's own thread one time-out,
// and no writer anything. The repaint is one unit under the stall rule: a display that stops
// reading under it costs it one time-out, and it is sent again whole once the display reads. A
// stop cuts it short. Open on a dead port reopens it at once (the session identifies the
// display itself).
//
// Looking a port number up (which may enumerate devices and wait on the registry store's lock),
// opening the device and asking it who it is happen outside the write lock, so no writer ever
// waits on them: only the swap of the confirmed device into the port, and the repaint, run under
// it. The keeper runs on a state of its own; one that misses its stop bound is let go with it
// and never shares a flag with the keeper started after it.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "displaymodel/display_model.h"
#include "platform/clock/clock.h"
#include "platform/clock/thread.h"
#include "platform/serial/serial_device.h"

namespace kirnow {

class SerialPort {
 public:
  // Without a clock there is no keeper thread: an unplug is noticed only by a write, and only
  // Open reopens a dead port.
  explicit SerialPort(platform::SerialDevice& device, platform::Clock* clock = nullptr)
      : device_(device), clock_(clock) {}
  ~SerialPort() { Close(); }
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // True when the port is open afterwards. An open port is not reopened, even for another
  // port number or baud rate, unless it has died: then it is opened again as asked.
  bool Open(int32_t portNumber, int32_t baud) { return OpenFor(portNumber, baud, {}); }
  // Open for the caller's thread alone, which asks the device who it is: until Confirm (or
  // Close), bytes that other threads send (a worker of an earlier session) are dropped, so that
  // nothing but the identity query reaches a device that has not answered as the display. A
  // port that is open and alive already is kept as it is.
  bool OpenToIdentify(int32_t portNumber, int32_t baud) {
    return OpenFor(portNumber, baud, std::this_thread::get_id());
  }
  // The device has answered as the display: every thread's bytes go out again.
  void Confirm();
  bool Close();  // always true; ends the keeper thread
  // Sends the first `length` bytes one at a time, as one unit under the stall rule above;
  // returns length (0 when closed or length <= 0). Failures are not reported: what the port
  // could not send, the repaint after a reconnect shows, or the stall rule dropped.
  int32_t SendData(const uint8_t* buffer, int32_t length);
  template <size_t N>
  void SendData(const std::array<uint8_t, N>& command) {
    SendData(command.data(), static_cast<int32_t>(N));
  }
  // One byte, as SendData of a one-byte buffer.
  void SendByte(uint8_t byte) { SendData(&byte, 1); }
  // Reads at most `limit` of the bytes waiting; 0 at once when none are waiting.
  int32_t ReadData(uint8_t* buffer, int32_t limit);
  bool Opened() const;

  // Holds the write lock across several sends (a worker's frame, a command): one unit for the
  // stall rule above. Re-entrant on one thread; the outermost one ends the unit.
  class Frame {
   public:
    explicit Frame(SerialPort& port) : port_(&port), hold_(port.writeLock_) { ++port.unitDepth_; }
    ~Frame() {
      if (port_ != nullptr && --port_->unitDepth_ == 0) port_->EndUnit();
    }
    Frame(Frame&& other) noexcept : port_(other.port_), hold_(std::move(other.hold_)) {
      other.port_ = nullptr;
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    Frame& operator=(Frame&&) = delete;

   private:
    SerialPort* port_;
    std::unique_lock<std::recursive_mutex> hold_;
  };
  Frame LockFrame() { return Frame(*this); }

  // True while the display has stopped reading (a byte timed out and the driver has not taken
  // bytes since).
  bool Stalled() const { return stalled_; }
  // True from a failed write until the port is open again.
  bool Dead() const { return dead_; }
  // The OS error of the write or check that found the port dead (errno, GetLastError); 0 before.
  int DeathError() const { return deathError_; }
  // True while a keeper thread runs (from the first Open with a clock until Close), or one that
  // a Close let go past its bound has not ended yet.
  bool Keeping() const { return keepers_ != 0; }
  // True from the reopening of a port that died until its repaint has gone out whole.
  bool RepaintDue() const { return repaintDue_; }
  // What the port takes the display to show: its model of the screen, copied under the lock.
  displaymodel::DisplayModel Screen() const {
    std::lock_guard<std::recursive_mutex> hold(writeLock_);
    return screen_;
  }

 private:
  // One keeper thread's own flags, held by the thread and by the port until it is stopped.
  struct KeeperRun {
    std::atomic<int32_t> keepGoing{1};  // cleared (and the clock interrupted) to stop it
    std::atomic<int32_t> running{1};    // set from its start until its loop has ended
  };

  bool OpenFor(int32_t portNumber, int32_t baud, std::thread::id identifier);
  void EndUnit();
  // Writes one byte of the open unit; writeLock_ held. What the device says about it decides
  // the stall, the dropped rest of the unit, or the port's death.
  void WriteLocked(uint8_t byte);
  // The device failed: close it; the keeper reopens it. writeLock_ held.
  void DieLocked();
  // Sends the repaint of the model to a device opened again, unless the display still does not
  // read. Stops at the first byte that times out (the port is stalled then) or fails, at a
  // removal and at a stop; repaintDue_ stays set until it went out whole. writeLock_ held.
  void RepaintLocked(const std::atomic<int32_t>& keepGoing);
  // Every 500 ms while the port is open: a live device is checked, a dead one reopened, a due
  // repaint sent.
  void KeeperLoop(KeeperRun& run);
  void KeepRound(const std::atomic<int32_t>& keepGoing);
  // Whether the device just opened, which no writer uses yet, answers the identity query as the
  // display. Asks twice, as the session does; a byte of the query that does not go out, or a
  // stop, ends it. deviceLock_ held.
  bool AnswersAsDisplay(const std::atomic<int32_t>& keepGoing);
  // writeLock_ for the keeper: tried every few ms through the clock for at most 100 ms (a writer
  // holds it for one unit), or until a stop. Not owned when that ran out.
  std::unique_lock<std::recursive_mutex> KeeperHold(const std::atomic<int32_t>& keepGoing);
  // Starts the keeper thread unless one keeps the port already; writeLock_ held.
  void StartKeeperLocked();
  // Ends the keeper thread, if any, waiting at most about one byte's time-out for it;
  // writeLock_ not held by this thread.
  void StopKeeper();
  void Feed(uint8_t byte);

  platform::SerialDevice& device_;
  platform::Clock* clock_;
  // Held by whoever opens the device, or asks it who it is, while no writer uses it (the port is
  // closed or dead): Open, and the keeper's reopening. Taken before writeLock_, never after it.
  std::mutex deviceLock_;
  // Guards the device's writes and the state below. The keeper only tries it (KeeperHold): a
  // caller that closes the port may hold it while it waits for the keeper to end.
  mutable std::recursive_mutex writeLock_;
  std::thread::id identifier_;  // under writeLock_: the only thread that sends, until Confirm
  int unitDepth_ = 0;           // under writeLock_: frames and commands open on this thread
  bool dropRest_ = false;       // under writeLock_: a byte of the open unit timed out
  int32_t portNumber_ = 0, baud_ = 0;     // under writeLock_: what Open last opened
  displaymodel::DisplayModel screen_;     // under writeLock_: what the display shows
  std::atomic<bool> repaintDue_{false};   // changed under writeLock_: see RepaintDue
  platform::Thread keeper_;               // the keeper thread, when one was started
  std::shared_ptr<KeeperRun> keeperRun_;  // its flags
  std::atomic<int32_t> keepers_{0};       // keeper threads alive, a let-go one included
  // Changed only under writeLock_; read without it so that Opened() never waits for a frame.
  std::atomic<bool> opened_{false};
  std::atomic<bool> stalled_{false};
  std::atomic<bool> dead_{false};
  std::atomic<int> deathError_{0};
};

}  // namespace kirnow
