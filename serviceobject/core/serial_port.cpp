// The library's serial port over the platform's serial device. Every write and the open/closed
// state are guarded by one recursive lock, so that the caller's thread and the marquee and blink
// workers never interleave inside one another's bytes, and a port is never closed under a
// writer. The keeper thread takes the same lock to check the device and to swap a reopened one
// in and repaint it, so no frame can go out between the two; it waits for it only briefly
// (while somebody holds it, that writer finds a failed device itself, and a Close called under a
// frame may be waiting for the keeper). Holding it, the keeper waits for the device at most one
// byte's time-out, as any writer does (the repaint's stall rule). The device is reopened and
// asked who it is outside the lock, under deviceLock_, while the port is dead and no writer
// touches the device.
#include "serviceobject/core/serial_port.h"

#include <algorithm>
#include <vector>

#include "displaymodel/pole_commands.h"
#include "kirnow_config.h"

namespace kirnow {

namespace {
constexpr uint64_t kKeeperPollMicros = 500000;
// The longest a stop waits for the keeper: the byte it may be writing (the device's 1000 ms
// time-out) and some room for a busy machine.
constexpr uint32_t kKeeperStopMs = 2000;
// The longest the keeper waits for the write lock to swap a reopened device in; a writer holds
// it for one unit.
constexpr uint32_t kKeeperLockWaitMs = 100;
// How often the keeper looks whether the display's answer has arrived.
constexpr uint32_t kAnswerLookMs = 10;
}  // namespace

bool SerialPort::OpenFor(int32_t portNumber, int32_t baud, std::thread::id identifier) {
  if (opened_ && !dead_) return true;  // an open port is kept, whatever is asked for now
  if (portNumber < 1) return false;    // there is no COM0 or below
  // A keeper that is reopening the device holds this for one lookup and one identity query.
  std::lock_guard<std::mutex> device(deviceLock_);
  if (opened_ && !dead_) return true;  // the keeper has just taken it back
  // Closed or dead: no writer touches the device. It is looked up and opened outside the lock;
  // a port that died is opened again at once and its keeper goes on watching.
  if (!device_.Open(portNumber, baud)) return false;
  std::lock_guard<std::recursive_mutex> hold(writeLock_);
  portNumber_ = portNumber;
  baud_ = baud;
  opened_ = true;
  dead_ = false;
  stalled_ = false;
  repaintDue_ = false;
  identifier_ = identifier;
  StartKeeperLocked();
  return true;
}

void SerialPort::Confirm() {
  std::lock_guard<std::recursive_mutex> hold(writeLock_);
  identifier_ = {};
}

void SerialPort::StartKeeperLocked() {
  if (clock_ == nullptr || keeper_.joinable()) return;  // no clock, or a keeper is at it
  auto run = std::make_shared<KeeperRun>();
  ++keepers_;
  try {
    keeper_ = clock_->StartThread([this, run] {
      KeeperLoop(*run);
      --keepers_;
    });
  } catch (...) {
    --keepers_;
    throw;
  }
  keeperRun_ = std::move(run);
}

bool SerialPort::Close() {
  StopKeeper();
  // A worker may be in the middle of a frame: wait for it, so it never writes to a closed device.
  // A keeper let go while it reopened the device closes that itself once it sees the port closed.
  std::lock_guard<std::recursive_mutex> hold(writeLock_);
  if (!opened_) return true;
  if (!dead_) device_.Close();
  identifier_ = {};
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
  if (identifier_ != std::thread::id() && identifier_ != std::this_thread::get_id()) return;
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

void SerialPort::RepaintLocked(const std::atomic<int32_t>& keepGoing) {
  // A display that is back but still not reading costs the repaint nothing more until it does.
  if (stalled_ && !device_.ReadyToWrite()) return;
  stalled_ = false;
  for (uint8_t b : displaymodel::RepaintBytes(screen_)) {
    if (keepGoing == 0) return;  // a stop: Close is waiting for this thread
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

void SerialPort::KeeperLoop(KeeperRun& run) {
  while (run.keepGoing != 0) {
    clock_->SleepWhile(clock_->Micros() + kKeeperPollMicros, run.keepGoing);
    if (run.keepGoing == 0) break;
    KeepRound(run.keepGoing);
  }
  run.running = 0;
}

void SerialPort::KeepRound(const std::atomic<int32_t>& keepGoing) {
  {
    std::unique_lock<std::recursive_mutex> hold(writeLock_, std::try_to_lock);
    if (!hold.owns_lock() || !opened_) return;  // a writer is at it: look again next round
    if (!dead_) {
      // Idle or not, a device that went away is noticed here; a stalled one is still alive.
      if (device_.Alive()) {
        if (repaintDue_) RepaintLocked(keepGoing);
        return;
      }
      DieLocked();  // and tried again at once: a display plugged back in quickly is back now
    }
  }
  // A caller opening the port has the device: look again next round. Holding it, this thread
  // alone can bring the port back.
  std::unique_lock<std::mutex> device(deviceLock_, std::try_to_lock);
  if (!device.owns_lock()) return;
  int32_t portNumber = 0;
  int32_t baud = 0;
  {
    std::unique_lock<std::recursive_mutex> hold = KeeperHold(keepGoing);
    if (!hold.owns_lock() || !opened_ || !dead_) return;
    portNumber = portNumber_;
    baud = baud_;
  }
  // Dead: the device is this thread's until it is swapped in. Whatever answers at the number now
  // gets nothing before it has said it is the display.
  if (!device_.Open(portNumber, baud)) return;
  if (!AnswersAsDisplay(keepGoing)) {
    device_.Close();
    return;
  }
  std::unique_lock<std::recursive_mutex> hold = KeeperHold(keepGoing);
  if (!hold.owns_lock() || !opened_ || !dead_ || keepGoing == 0) {
    device_.Close();  // closed meanwhile, or stopping: tried again next round, if at all
    return;
  }
  dead_ = false;
  stalled_ = false;
  identifier_ = {};  // it has answered as the display
  repaintDue_ = true;
  RepaintLocked(keepGoing);
}

std::unique_lock<std::recursive_mutex> SerialPort::KeeperHold(
    const std::atomic<int32_t>& keepGoing) {
  std::unique_lock<std::recursive_mutex> hold(writeLock_, std::defer_lock);
  platform::WaitUntil(*clock_, clock_->Ticks(), kKeeperLockWaitMs,
                      [&] { return hold.try_lock() || keepGoing == 0; });
  return hold;
}

bool SerialPort::AnswersAsDisplay(const std::atomic<int32_t>& keepGoing) {
  for (int attempt = 0; attempt < 2 && keepGoing != 0; ++attempt) {
    if (attempt > 0) {
      clock_->SleepWhile(clock_->Micros() + pole::kIdentityRetryPauseMs * 1000u, keepGoing);
    }
    for (uint8_t b : pole::IdentityQuery()) {
      if (device_.WriteByte(b) != platform::SerialDevice::WriteResult::Written) return false;
    }
    // The answer is taken as soon as it is whole, so the repaint does not wait for the bound.
    pole::IdentityAnswer reply{};
    int32_t got = 0;
    const uint64_t until = clock_->Micros() + pole::kIdentityAnswerMs * 1000u;
    while (keepGoing != 0) {
      const int32_t waiting = device_.BytesWaiting();
      const int32_t want = static_cast<int32_t>(reply.size()) - got;
      if (waiting > 0)
        got += std::max(0, device_.Read(reply.data() + got, std::min(waiting, want)));
      if (got == static_cast<int32_t>(reply.size()) || clock_->Micros() >= until) break;
      clock_->SleepWhile(std::min(until, clock_->Micros() + kAnswerLookMs * 1000u), keepGoing);
    }
    if (got == static_cast<int32_t>(reply.size()) &&
        pole::IsIdentityAnswer(reply, KIRNOW_USB_PID)) {
      return true;
    }
  }
  return false;
}

void SerialPort::StopKeeper() {
  if (!keeper_.joinable()) return;
  KeeperRun& run = *keeperRun_;
  run.keepGoing = 0;
  clock_->Interrupt();  // the keeper's wait between rounds ends now
  // Waited through the clock, so that a test's virtual time lets the thread see the stop. The
  // keeper's longest step is one byte's time-out; one that is still not done is let go with its
  // own flags (it ends at its next look at them). The caller's thread waits with plain sleeps:
  // the clock's interruptible wait would give it a timer of the library's own.
  if (platform::WaitUntil(*clock_, clock_->Ticks(), kKeeperStopMs,
                          [&] { return run.running == 0; })) {
    keeper_.join();
  } else {
    keeper_.detach();
  }
  keeperRun_.reset();
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
