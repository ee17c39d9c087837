// The one serial port of the library (`Port`) and its byte-at-a-time send helper. Every byte
// for the display goes through SendByte or SendData. Writers from the caller's thread and from
// the worker threads are serialised by one lock: each caller's bytes go out once and in order,
// and a worker holds the lock for a whole frame (cursor move plus its characters).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/serial/serial_device.h"

namespace kirnow {

class SerialPort {
 public:
  explicit SerialPort(platform::SerialDevice& device) : device_(device) {}
  ~SerialPort() { Close(); }
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // True when the port is open afterwards. An open port is not reopened, even for another
  // port number or baud rate.
  bool Open(int32_t portNumber, int32_t baud);
  bool Close();                  // always true
  bool WriteByte(uint8_t byte);  // always true
  // Sends the first `length` bytes one at a time; returns length (0 when closed or length <= 0).
  int32_t SendData(const uint8_t* buffer, int32_t length);
  // Reads at most `limit` of the bytes waiting; 0 at once when none are waiting.
  int32_t ReadData(uint8_t* buffer, int32_t limit);
  // Stages `byte` in OutByte and sends it, under the write lock.
  void SendByte(uint8_t byte);
  bool Opened() const;

  // Holds the write lock across several sends (a worker's frame). Re-entrant on one thread.
  std::unique_lock<std::recursive_mutex> LockFrame() {
    return std::unique_lock<std::recursive_mutex>(writeLock_);
  }

 private:
  platform::SerialDevice& device_;
  mutable std::recursive_mutex writeLock_;  // guards the device's writes and OutByte
  uint8_t OutByte = 0;
  // Changed only under writeLock_; read without it so that Opened() never waits for a frame.
  std::atomic<bool> opened_{false};
};

}  // namespace kirnow
