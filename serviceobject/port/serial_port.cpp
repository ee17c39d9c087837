// The library's serial port: the writers' side of the hand-over to the port's owner, and the
// owner thread's start and stop (serial_port.h).
#include "serviceobject/port/serial_port.h"

#include <utility>

namespace kirnow {

namespace {
// The longest a Close waits for the owner: the byte it may be writing (the device's 1000 ms
// time-out), the rest of a unit, and some room for a busy machine.
constexpr uint32_t kOwnerStopMs = 2000;
// A writer's wait for its step, looked at again this often for a give-up; a served step ends
// it at once.
constexpr uint64_t kGiveUpLookMicros = 10000;
constexpr uint64_t kStepLookMicros = 1000000;

std::shared_ptr<port::Step> MakeStep(port::Step::Kind kind) {
  return std::make_shared<port::Step>(kind);
}
}  // namespace

bool SerialPort::Hand(const std::shared_ptr<port::Step>& step, const std::atomic<bool>* giveUp) {
  if (giveUp != nullptr && *giveUp) return false;
  if (!queue_.Push(step)) return false;
  const uint64_t look = giveUp != nullptr ? kGiveUpLookMicros : kStepLookMicros;
  while (step->pending != 0) {
    clock_.SleepWhile(clock_.Micros() + look, step->pending);
    if (giveUp != nullptr && *giveUp && step->pending != 0) {
      step->abandoned = true;
      return false;
    }
  }
  return true;
}

bool SerialPort::StartOwnerLocked() {
  if (ownerThread_.joinable()) return true;
  if (owners_ != 0) return false;  // one let go past its bound still holds the device
  auto run = std::make_shared<OwnerRun>();
  queue_.Accept();
  ++owners_;
  try {
    ownerThread_ = clock_.StartThread([this, run] {
      owner_.Run(run->keepGoing);
      run->running = 0;
      --owners_;
    });
  } catch (...) {
    --owners_;
    for (const auto& left : queue_.Refuse()) port::Finish(clock_, *left);
    throw;
  }
  ownerRun_ = std::move(run);
  attached_ = true;
  return true;
}

void SerialPort::StopOwnerLocked() {
  if (!ownerThread_.joinable()) return;
  OwnerRun& run = *ownerRun_;
  queue_.Push(MakeStep(port::Step::Kind::Close));
  // Waited through the clock, so that a test's virtual time lets the owner see the step.
  if (platform::WaitUntil(clock_, clock_.Ticks(), kOwnerStopMs, [&] { return run.running == 0; })) {
    ownerThread_.join();
  } else {
    // Still in one step (a write the driver does not return): it ends after it, closing the
    // device; nothing else is handed to it.
    run.keepGoing = 0;
    for (const auto& left : queue_.Refuse()) port::Finish(clock_, *left);
    queue_.Wake();
    ownerThread_.detach();
  }
  attached_ = false;
  ownerRun_.reset();
}

bool SerialPort::OpenFor(int32_t portNumber, int32_t baud, port::Confirmation confirmation) {
  platform::MutexHold life(lifeLock_);
  if (!StartOwnerLocked()) return false;
  auto step = MakeStep(port::Step::Kind::Open);
  step->portNumber = portNumber;
  step->baud = baud;
  step->confirmation = confirmation;
  Hand(step);
  if (step->ok) baud_ = static_cast<uint32_t>(baud);
  // A port that is not open has no owner: no thread runs for it.
  if (!status_.opened) StopOwnerLocked();
  return step->ok;
}

bool SerialPort::Close() {
  platform::MutexHold life(lifeLock_);
  StopOwnerLocked();
  return true;
}

port::IdentityReplies SerialPort::Identify(uint8_t& inByte) {
  auto step = MakeStep(port::Step::Kind::Identify);
  step->inByte = inByte;
  if (Hand(step)) inByte = step->inByte;
  return step->replies;
}

void SerialPort::Confirm() { Hand(MakeStep(port::Step::Kind::Confirm)); }

int32_t SerialPort::SendData(const uint8_t* buffer, int32_t length) {
  if (length <= 0 || buffer == nullptr || !Opened()) return 0;
  port::Unit unit;
  unit.SendData(buffer, length);
  Send(std::move(unit));
  return length;
}

void SerialPort::Send(port::Unit unit) {
  if (unit.bytes.empty()) return;
  auto step = MakeStep(port::Step::Kind::Send);
  step->unit = std::move(unit);
  Hand(step);
}

bool SerialPort::SendFrame(port::Unit unit, const std::atomic<bool>& letGo,
                           uint64_t& missedMicros) {
  missedMicros = 0;
  if (letGo) return false;
  auto step = MakeStep(port::Step::Kind::Send);
  size_t unsent = unit.bytes.size();
  step->unit = std::move(unit);
  uint32_t baud = baud_;
  if (Hand(step, &letGo)) {
    unsent = step->unsent;
    baud = step->baudUsed;
  } else if (letGo) {
    return false;
  }
  missedMicros = port::WireMicros(unsent, baud);
  return true;
}

displaymodel::DisplayModel SerialPort::Screen() {
  auto step = MakeStep(port::Step::Kind::Screen);
  if (Hand(step) && step->screen) return *step->screen;
  // No owner takes steps: none touches the mirror either, unless one let go still runs.
  if (owners_ == 0) return owner_.Mirror().Model();
  return displaymodel::DisplayModel();
}

}  // namespace kirnow
