// The library's serial port over the platform's serial device. Every write and the open/closed
// state are guarded by one recursive lock, so that the caller's
// thread and the marquee and blink workers never interleave inside one another's bytes, and a
// port is never closed under a writer. The keeper thread takes the same lock to check the
// device, or to reopen it and repaint, so no frame can go out between the two. It only tries
// the lock: while somebody holds it, that writer finds a failed device itself, and a keeper
// that waited could deadlock with a Close called under a frame. Holding it, the keeper waits
// for the device at most one byte's time-out, as any writer does (the repaint's stall rule).
#include "serviceobject/core/serial_port.h"

#include <vector>

namespace kirnow {

namespace {
constexpr uint64_t kKeeperPollMicros = 500000;
// The longest a stop waits for the keeper: the byte it may be writing (the device's 1000 ms
// time-out) and some room for a busy machine.
constexpr uint32_t kKeeperStopMs = 2000;
}  // namespace

bool SerialPort::Open(int32_t portNumber, int32_t baud) {
  std::unique_lock<std::recursive_mutex> hold(writeLock_);
  if (opened_ && !dead_) return true;  // an open port is kept, whatever is asked for now
  if (portNumber < 1) return false;    // there is no COM0 or below
  // A port that died is opened again at once (the session initialises the display itself);
  // its keeper goes on watching.
  stalled_ = false;
  if (!device_.Open(portNumber, baud)) return false;
  portNumber_ = portNumber;
  baud_ = baud;
  opened_ = true;
  dead_ = false;
  repaintDue_ = false;
  if (clock_ != nullptr && keeperRunning_ == 0) {
    if (keeper_.joinable()) keeper_.join();  // one that ended at a Close
    keepGoing_ = 1;
    keeperRunning_ = 1;
    keeper_ = clock_->StartThread([this] { KeeperLoop(); });
  }
  return true;
}

bool SerialPort::Close() {
  StopKeeper();
  // A worker may be in the middle of a frame: wait for it, so it never writes to a closed device.
  std::lock_guard<std::recursive_mutex> hold(writeLock_);
  if (!opened_) return true;
  if (!dead_) device_.Close();
  opened_ = false;
  dead_ = false;
  repaintDue_ = false;
  return true;
}

void SerialPort::Feed(uint8_t byte) {
  std::vector<uint8_t> ignored;  // the model's answers to identity queries go nowhere
  screen_.Feed(byte, 0, ignored);
}

void SerialPort::WriteLocked(uint8_t byte) {
  if (!opened_) return;
  if (dead_) {
    Feed(byte);  // not sent, but the repaint shows it
    return;
  }
  if (dropRest_) return;
  // Stalled: nothing waits until the driver takes bytes again without waiting.
  if (stalled_ && !device_.ReadyToWrite()) {
    dropRest_ = true;
    return;
  }
  stalled_ = false;
  switch (device_.WriteByte(byte)) {
    case platform::SerialDevice::WriteResult::Written:
      Feed(byte);
      break;
    case platform::SerialDevice::WriteResult::TimedOut:
      // The byte is dropped without report, and so is the rest of its unit.
      stalled_ = true;
      dropRest_ = true;
      break;
    case platform::SerialDevice::WriteResult::Failed:
      // Lost without report; the device is still there and has cleared the error.
      break;
    case platform::SerialDevice::WriteResult::Gone:
      Feed(byte);
      DieLocked();
      break;
  }
}

void SerialPort::EndUnit() {
  // A command cut short leaves the model waiting for its rest; it never comes.
  if (dropRest_) screen_.EndSequence();
  dropRest_ = false;
}

void SerialPort::DieLocked() {
  deathError_ = device_.LastError();
  device_.Close();
  dead_ = true;
  stalled_ = false;
}

void SerialPort::RepaintLocked() {
  // A display that is back but still not reading costs the repaint nothing more until it does.
  if (stalled_ && !device_.ReadyToWrite()) return;
  stalled_ = false;
  for (uint8_t b : displaymodel::RepaintBytes(screen_)) {
    if (keepGoing_ == 0) return;  // a stop: Close is waiting for this thread
    switch (device_.WriteByte(b)) {
      case platform::SerialDevice::WriteResult::Written:
        break;
      case platform::SerialDevice::WriteResult::Failed:
        // The display would miss what the model says it shows: sent again whole next round.
        return;
      case platform::SerialDevice::WriteResult::TimedOut:
        stalled_ = true;  // sent again whole once the display reads
        return;
      case platform::SerialDevice::WriteResult::Gone:
        DieLocked();
        return;
    }
  }
  repaintDue_ = false;
}

void SerialPort::KeeperLoop() {
  while (keepGoing_ != 0) {
    clock_->SleepWhile(clock_->Micros() + kKeeperPollMicros, keepGoing_);
    if (keepGoing_ == 0) break;
    std::unique_lock<std::recursive_mutex> hold(writeLock_, std::try_to_lock);
    if (hold.owns_lock()) KeepLocked();  // else a writer is at it; look again next round
  }
  keeperRunning_ = 0;
}

void SerialPort::KeepLocked() {
  if (!opened_) return;
  if (!dead_) {
    // Idle or not, a device that went away is noticed here; a stalled one is still alive.
    if (!device_.Alive()) {
      DieLocked();
      // Tried again at once: a display plugged back in quickly is back within one round.
    } else if (!repaintDue_) {
      return;
    }
  }
  if (dead_) {
    if (!device_.Open(portNumber_, baud_)) return;
    dead_ = false;
    stalled_ = false;
    repaintDue_ = true;
  }
  RepaintLocked();
}

void SerialPort::StopKeeper() {
  if (!keeper_.joinable()) return;
  keepGoing_ = 0;
  clock_->Interrupt();  // the keeper's wait between rounds ends now
  // Waited through the clock, so that a test's virtual time lets the thread see the stop. The
  // keeper's longest step is one byte's time-out; one that is still not done is let go (it
  // holds the library loaded and ends at its next look at the flag). The caller's thread polls
  // with plain sleeps: the clock's interruptible wait would give it a timer of the library's
  // own, which the thread would keep past an unload.
  const uint32_t start = clock_->Ticks();
  while (keeperRunning_ != 0 && clock_->Ticks() - start < kKeeperStopMs) clock_->Sleep(1);
  if (keeperRunning_ == 0) {
    keeper_.join();
  } else {
    keeper_.detach();
  }
}

int32_t SerialPort::SendData(const uint8_t* buffer, int32_t length) {
  if (length <= 0 || buffer == nullptr) return 0;
  Frame unit(*this);
  if (!opened_) return 0;
  for (int32_t i = 0; i < length; ++i) WriteLocked(buffer[i]);
  return length;
}

int32_t SerialPort::ReadData(uint8_t* buffer, int32_t limit) {
  if (limit <= 0 || buffer == nullptr) return 0;
  std::lock_guard<std::recursive_mutex> hold(writeLock_);
  if (!opened_ || dead_) return 0;
  const int32_t waiting = device_.BytesWaiting();
  if (waiting <= 0) return 0;  // nothing has arrived: the buffer is left as it was
  const int32_t count = waiting < limit ? waiting : limit;
  const int32_t read = device_.Read(buffer, count);
  return read > 0 ? read : 0;
}

bool SerialPort::Opened() const { return opened_; }

}  // namespace kirnow
