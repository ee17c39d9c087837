// The port's owner: serving the writers' steps on the port's own thread (port_owner.h).
#include "serviceobject/port/port_owner.h"

#include <algorithm>

#include "kirnow_config.h"

namespace kirnow::port {

namespace {
constexpr uint64_t kRoundMicros = 500000;  // the keeper's round, every 500 ms while open
constexpr uint64_t kAnswerLookMicros = 10000;
}  // namespace

uint64_t WireMicros(size_t bytes, uint32_t baud) {
  if (baud == 0) return 0;
  return static_cast<uint64_t>(bytes) * 10u * 1000000u / baud;
}

void PortOwner::Run(const std::atomic<int32_t>& keepGoing) {
  keepGoing_ = &keepGoing;
  ending_ = false;
  uint64_t nextRound = clock_.Micros() + kRoundMicros;
  while (keepGoing != 0 && !ending_) {
    ServeAll();
    if (ending_ || keepGoing == 0) break;
    if (clock_.Micros() >= nextRound) {
      KeepRound();
      nextRound = clock_.Micros() + kRoundMicros;
      continue;
    }
    queue_.WaitForWork(nextRound, false);
  }
  for (const std::shared_ptr<Step>& left : queue_.Refuse()) Finish(clock_, *left);
  keepGoing_ = nullptr;
}

void PortOwner::ServeAll() {
  for (const std::shared_ptr<Step>& step : queue_.TakeAll()) {
    if (!step->abandoned) Serve(*step);
    Finish(clock_, *step);
  }
}

void PortOwner::ServeSends() {
  for (const std::shared_ptr<Step>& step : queue_.TakeSends()) {
    if (!step->abandoned) Send(*step);
    Finish(clock_, *step);
  }
}

void PortOwner::Serve(Step& step) {
  switch (step.kind) {
    case Step::Kind::Send:
      Send(step);
      break;
    case Step::Kind::Open:
      Open(step);
      break;
    case Step::Kind::Confirm:
      confirmed_ = opened_;
      if (confirmed_) Note(PortNote::Kind::Confirmed);
      break;
    case Step::Kind::Close:
      Close();
      ending_ = true;
      break;
    case Step::Kind::Identify:
      Identify(step);
      break;
    case Step::Kind::Screen:
      step.screen = std::make_unique<displaymodel::DisplayModel>(mirror_.Model());
      break;
  }
  Publish();
}

void PortOwner::Open(Step& step) {
  step.ok = opened_ && !dead_;                 // an open port is kept, whatever is asked for now
  if (step.ok || step.portNumber < 1) return;  // there is no COM0 or below
  // Closed, or dead (closed by its death): a port that died is opened again at once and its
  // keeper goes on watching.
  if (!device_.Open(step.portNumber, step.baud)) return NoteOpenFailed(step.portNumber);
  portNumber_ = step.portNumber;
  baud_ = step.baud;
  opened_ = true;
  dead_ = false;
  stalled_ = false;
  repaintDue_ = false;
  confirmed_ = false;
  Note(PortNote::Kind::Opened);
  if (step.confirmation == Confirmation::RecordOrQuery) {
    const bool byRecord = device_.RecordShowsUsbIds(KIRNOW_USB_VID, KIRNOW_USB_PID);
    confirmed_ = byRecord || AsksAsTheDisplay();
    Note(byRecord     ? PortNote::Kind::ConfirmedByRecord
         : confirmed_ ? PortNote::Kind::ConfirmedByAnswer
                      : PortNote::Kind::NotTheDisplay);
    if (!confirmed_) {
      device_.Close();  // not the display: it got nothing but the identity query
      opened_ = false;
      return;
    }
  }
  step.ok = true;
}

void PortOwner::Close() {
  if (!opened_) return;
  Note(PortNote::Kind::Closed);
  if (!dead_) device_.Close();
  opened_ = false;
  confirmed_ = false;
  dead_ = false;
  repaintDue_ = false;
}

void PortOwner::Send(Step& step) {
  const Unit& unit = step.unit;
  step.baudUsed = static_cast<uint32_t>(std::max(baud_, 0));
  // Closed, or not yet confirmed as the display: only the identity exchange reaches the device.
  if (!opened_ || !confirmed_) {
    step.unsent = unit.bytes.size();
    return RecordUnit(unit.bytes, {});
  }
  const bool recording = recorder_.Recording(), wasStalled = stalled_;
  std::vector<Fate> fates;
  for (size_t i = 0; i < unit.bytes.size(); ++i) {
    const bool sent = WriteUnitByte(unit.bytes[i]);
    if (!sent) ++step.unsent;
    if (recording) fates.push_back(FateOf(sent));
    if (i >= unit.gapFrom && unit.gapMs != 0) platform::DelayMs(clock_, unit.gapMs);
  }
  EndUnit();
  RecordUnit(unit.bytes, fates);
  NoteStall(wasStalled);
}

bool PortOwner::WriteUnitByte(uint8_t byte) {
  if (dead_) {
    mirror_.Feed(byte);  // not sent, but the repaint shows it
    return false;
  }
  if (dropRest_) return false;
  // Stalled: nothing waits until the driver takes bytes again without waiting.
  if (stalled_ && !device_.ReadyToWrite()) {
    dropRest_ = true;
    return false;
  }
  stalled_ = false;
  switch (device_.WriteByte(byte)) {
    case platform::SerialDevice::WriteResult::Written:
      mirror_.Feed(byte);
      return true;
    case platform::SerialDevice::WriteResult::TimedOut:
      // The byte is dropped without report, and so is the rest of its unit.
      stalled_ = true;
      dropRest_ = true;
      return false;
    case platform::SerialDevice::WriteResult::Failed:
      return false;  // lost; the device is still there and has cleared the error
    case platform::SerialDevice::WriteResult::Gone:
      mirror_.Feed(byte);
      Die();
      return false;
  }
  return false;
}

void PortOwner::EndUnit() {
  if (dropRest_) mirror_.CutShort();  // the model waits for a rest that never comes
  dropRest_ = false;
}

void PortOwner::Die() {
  deathError_ = device_.LastError();
  device_.Close();
  dead_ = true;
  stalled_ = false;
  Publish();
  Note(PortNote::Kind::Gone, deathError_);
}

void PortOwner::Identify(Step& step) {
  askingDirectly_ = false;
  step.replies = ExchangeIdentity(*this, AnswerWaits::Fixed, step.inByte);
  EndUnit();
  FlushTap();
}

bool PortOwner::AsksAsTheDisplay() {
  askingDirectly_ = true;
  uint8_t carry = 0;
  const bool display = ExchangeIdentity(*this, AnswerWaits::Early, carry).display;
  askingDirectly_ = false;
  FlushTap();
  return display;
}

bool PortOwner::Write(uint8_t byte) {
  // A device opened just now whose driver would not take a byte at once is not reading (its
  // flow control holds the line): it cannot answer, and asking it would cost the owner, and so
  // every writer, a time-out per try.
  if (askingDirectly_) {
    const bool sent = device_.ReadyToWrite() &&
                      device_.WriteByte(byte) == platform::SerialDevice::WriteResult::Written;
    TapWrite(byte, sent ? Fate::Sent : Fate::Dropped);
    return sent;
  }
  if (!opened_) {
    TapWrite(byte, Fate::Held);
    return false;
  }
  const bool sent = WriteUnitByte(byte);
  TapWrite(byte, FateOf(sent));
  return sent;
}

int32_t PortOwner::Waiting() {
  if (!askingDirectly_ && (!opened_ || dead_)) return 0;
  return device_.BytesWaiting();
}

int32_t PortOwner::Read(uint8_t* buffer, int32_t count) {
  const int32_t read = std::max(0, device_.Read(buffer, count));
  TapRead(buffer, read);
  return read;
}

bool PortOwner::Pause(uint32_t ms, int32_t enough) {
  EndUnit();  // a query of OpenService's is a unit of its own
  FlushTap();
  const uint64_t until = clock_.Micros() + static_cast<uint64_t>(ms) * 1000u;
  while (true) {
    // Writers are served meanwhile: while the port is dead their units go to the mirror, while
    // the device is not confirmed they are dropped.
    ServeSends();
    if (keepGoing_ == nullptr || *keepGoing_ == 0) return false;
    if (enough > 0 && Waiting() >= enough) return true;
    const uint64_t now = clock_.Micros();
    if (now >= until) return true;
    queue_.WaitForWork(enough > 0 ? std::min(until, now + kAnswerLookMicros) : until, true);
  }
}

void PortOwner::Publish() {
  status_.opened = opened_;
  status_.dead = dead_;
  status_.stalled = stalled_;
  status_.repaintDue = repaintDue_;
  status_.deathError = deathError_;
}

}  // namespace kirnow::port
