// The one serial port of the library (`Port`) and its byte-at-a-time send helper. Every byte
// for the display goes through SendByte or SendData. Writers from the caller's thread and from
// the worker threads are serialised by one lock: each caller's bytes go out once and in order,
// and a worker holds the lock for a whole frame (cursor move plus its characters).
//
// A display that stops reading: the device waits up to 1000 ms for a byte. Once one byte has
// timed out the port is stalled: the rest of that frame or command is dropped at once, and
// every later frame or command is dropped at once too, until the driver takes bytes again
// without waiting (the display reads again). So a caller waits for at most one time-out of
// its own (or of the frame a worker was sending when the display stopped), never for one per
// byte, and a frame either goes out whole or is dropped from the byte that timed out on.
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

  // Holds the write lock across several sends (a worker's frame, a command): one unit for the
  // stall rule above. Re-entrant on one thread; the outermost one ends the unit.
  class Frame {
   public:
    explicit Frame(SerialPort& port) : port_(&port), hold_(port.writeLock_) { ++port.unitDepth_; }
    ~Frame() {
      if (port_ != nullptr && --port_->unitDepth_ == 0) port_->dropRest_ = false;
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

 private:
  platform::SerialDevice& device_;
  mutable std::recursive_mutex writeLock_;  // guards the device's writes and OutByte
  uint8_t OutByte = 0;
  int unitDepth_ = 0;      // under writeLock_: frames and commands open on this thread
  bool dropRest_ = false;  // under writeLock_: a byte of the open unit timed out
  // Changed only under writeLock_; read without it so that Opened() never waits for a frame.
  std::atomic<bool> opened_{false};
  std::atomic<bool> stalled_{false};
};

}  // namespace kirnow
