// The library's serial port over the platform's serial device. Every write, the staging byte
// OutByte and the open/closed state are guarded by one recursive lock, so that the caller's
// thread and the marquee and blink workers never interleave inside one another's bytes, and a
// port is never closed under a writer.
#include "serviceobject/core/serial_port.h"

namespace kirnow {

bool SerialPort::Open(int32_t portNumber, int32_t baud) {
  std::lock_guard<std::recursive_mutex> hold(writeLock_);
  if (opened_) return true;  // an open port is kept, whatever number or rate is asked for now
  stalled_ = false;
  if (portNumber < 1) return false;  // there is no COM0 or below
  if (!device_.Open(portNumber, baud)) return false;
  opened_ = true;
  return true;
}

bool SerialPort::Close() {
  // A worker may be in the middle of a frame: wait for it, so it never writes to a closed device.
  std::lock_guard<std::recursive_mutex> hold(writeLock_);
  if (!opened_) return true;
  device_.Close();
  opened_ = false;
  return true;
}

bool SerialPort::WriteByte(uint8_t byte) {
  Frame unit(*this);
  if (!opened_ || dropRest_) return true;
  // Stalled: nothing waits until the driver takes bytes again without waiting.
  if (stalled_ && !device_.ReadyToWrite()) {
    dropRest_ = true;
    return true;
  }
  stalled_ = false;
  // The device gives up on a byte it can't write within its time-out: the byte is dropped
  // without report, and so is the rest of its unit.
  if (device_.WriteByte(byte) != platform::SerialDevice::WriteResult::Written) {
    stalled_ = true;
    dropRest_ = true;
  }
  return true;
}

int32_t SerialPort::SendData(const uint8_t* buffer, int32_t length) {
  if (length <= 0 || buffer == nullptr) return 0;
  Frame unit(*this);
  if (!opened_) return 0;
  for (int32_t i = 0; i < length; ++i) WriteByte(buffer[i]);
  return length;
}

int32_t SerialPort::ReadData(uint8_t* buffer, int32_t limit) {
  if (limit <= 0 || buffer == nullptr) return 0;
  std::lock_guard<std::recursive_mutex> hold(writeLock_);
  if (!opened_) return 0;
  const int32_t waiting = device_.BytesWaiting();
  if (waiting <= 0) return 0;  // nothing has arrived: the buffer is left as it was
  const int32_t count = waiting < limit ? waiting : limit;
  const int32_t read = device_.Read(buffer, count);
  return read > 0 ? read : 0;
}

void SerialPort::SendByte(uint8_t byte) {
  // OutByte is shared by every caller: stage and send it under the lock so that two threads
  // never send each other's byte.
  Frame unit(*this);
  OutByte = byte;
  SendData(&OutByte, 1);
}

bool SerialPort::Opened() const { return opened_; }

}  // namespace kirnow
