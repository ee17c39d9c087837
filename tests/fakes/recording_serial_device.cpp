// The recording serial device of the tests: see recording_serial_device.h.
#include "tests/fakes/recording_serial_device.h"

#include "kirnow_config.h"

namespace kirnow::fakes {

RecordingSerialDevice::RecordingSerialDevice(platform::Clock& clock)
    : clock_(clock), scripted_(dynamic_cast<ScriptedClock*>(&clock)) {}

uint32_t RecordingSerialDevice::Stamp() {
  return scripted_ != nullptr ? scripted_->Now() : clock_.Ticks();
}

void RecordingSerialDevice::AddPort(int32_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  ports_.insert(n);
}

bool RecordingSerialDevice::Open(int32_t portNumber, int32_t baud) {
  if (openDelayMs_ != 0) clock_.Sleep(openDelayMs_);
  std::lock_guard<std::mutex> lock(mutex_);
  lastAttemptedPort = portNumber;
  openProblem_.clear();
  if (const auto refused = refused_.find(portNumber); refused != refused_.end()) {
    openProblem_ = refused->second;
    return false;
  }
  if (ports_.count(portNumber) == 0 || unplugged_) return false;
  open_ = true;
  lostHandle_ = false;
  port_ = portNumber;
  queries_ = 0;
  recent_.clear();
  lastOpenedPort = portNumber;
  lastBaud = baud;
  ++openCount;
  return true;
}

void RecordingSerialDevice::SetInRecord(int32_t n, bool inRecord) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (inRecord) {
    notInRecord_.erase(n);
  } else {
    notInRecord_.insert(n);
  }
}

bool RecordingSerialDevice::RecordShowsUsbIds(std::string_view vid, std::string_view pid) {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_ && vid == KIRNOW_USB_VID && pid == KIRNOW_USB_PID && notInRecord_.count(port_) == 0;
}

void RecordingSerialDevice::Refuse(int32_t n, std::string problem) {
  std::lock_guard<std::mutex> lock(mutex_);
  refused_[n] = std::move(problem);
}

std::string RecordingSerialDevice::OpenProblem() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return openProblem_;
}

void RecordingSerialDevice::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
}

bool RecordingSerialDevice::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

platform::SerialDevice::WriteResult RecordingSerialDevice::WriteByte(uint8_t byte) {
  while (writesHeld_) clock_.Sleep(10);
  const uint32_t now = Stamp();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_ || unplugged_ || lostHandle_) return WriteResult::Gone;
  if (failing_) {
    ++failedWrites_;
    return WriteResult::Failed;
  }
  if (stalled_) {
    ++timedOutWrites_;
    return WriteResult::TimedOut;
  }
  written_.emplace_back(now, byte);
  recent_.push_back(byte);
  if (recent_.size() > 3) recent_.erase(recent_.begin());
  if (recent_ == std::vector<uint8_t>{0x1D, 0x49, 0x02}) {
    recent_.clear();
    AnswerQueryLocked();
  }
  return WriteResult::Written;
}

bool RecordingSerialDevice::ReadyToWrite() {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_ && !stalled_ && !unplugged_ && !lostHandle_;
}

bool RecordingSerialDevice::Alive() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++aliveChecks_;
  return open_ && !unplugged_ && !lostHandle_;
}

int RecordingSerialDevice::AliveChecks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return aliveChecks_;
}

int RecordingSerialDevice::LastError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (unplugged_ || lostHandle_) return 5;  // EIO, as a tty whose device went away reports it
  return failing_ ? 71 : 0;                 // EPROTO: some other fault of the line
}

void RecordingSerialDevice::SetFailing(bool failing) {
  std::lock_guard<std::mutex> lock(mutex_);
  failing_ = failing;
}

int RecordingSerialDevice::FailedWrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failedWrites_;
}

void RecordingSerialDevice::SetUnplugged(bool unplugged) {
  std::lock_guard<std::mutex> lock(mutex_);
  unplugged_ = unplugged;
  if (unplugged && open_) lostHandle_ = true;  // the handle stays dead after a replug
}

void RecordingSerialDevice::SetStalled(bool stalled) {
  std::lock_guard<std::mutex> lock(mutex_);
  stalled_ = stalled;
}

int RecordingSerialDevice::TimedOutWrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timedOutWrites_;
}

void RecordingSerialDevice::AnswerQueryLocked() {
  ++queries_;
  auto it = identities_.find(port_);
  const Identity& id = it != identities_.end() ? it->second : defaultIdentity_;
  std::string reply;
  switch (id.mode) {
    case IdentityMode::Answer:
      reply = "PID:" + id.pid;
      break;
    case IdentityMode::SecondOnly:
      if (queries_ >= 2) reply = "PID:" + id.pid;
      break;
    case IdentityMode::WrongId: {
      std::string other = id.pid.empty() ? std::string("0000") : id.pid;
      other.back() = other.back() == '9' ? '8' : '9';
      reply = "PID:" + other;
      break;
    }
    case IdentityMode::Silent:
      break;
  }
  input_.insert(input_.end(), reply.begin(), reply.end());
}

int32_t RecordingSerialDevice::BytesWaiting() {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_ ? static_cast<int32_t>(input_.size()) : 0;
}

int32_t RecordingSerialDevice::Read(uint8_t* buffer, int32_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_ || buffer == nullptr) return 0;
  int32_t n = 0;
  while (n < count && !input_.empty()) {
    buffer[n++] = input_.front();
    input_.pop_front();
  }
  return n;
}

std::vector<uint8_t> RecordingSerialDevice::Written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<uint8_t> bytes;
  bytes.reserve(written_.size());
  for (const auto& w : written_) bytes.push_back(w.second);
  return bytes;
}

std::vector<std::pair<uint32_t, uint8_t>> RecordingSerialDevice::WrittenWithTicks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

void RecordingSerialDevice::ClearWritten() {
  std::lock_guard<std::mutex> lock(mutex_);
  written_.clear();
}

void RecordingSerialDevice::QueueInput(std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  input_.insert(input_.end(), bytes.begin(), bytes.end());
}

void RecordingSerialDevice::SetIdentity(IdentityMode mode, std::string pid) {
  std::lock_guard<std::mutex> lock(mutex_);
  defaultIdentity_ = Identity{mode, std::move(pid)};
}

void RecordingSerialDevice::SetIdentity(int32_t port, IdentityMode mode, std::string pid) {
  std::lock_guard<std::mutex> lock(mutex_);
  identities_[port] = Identity{mode, std::move(pid)};
}

}  // namespace kirnow::fakes
