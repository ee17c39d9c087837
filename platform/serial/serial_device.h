// Serial device seam: one serial port reached by its COM number. On Windows this is
// "\\.\COMn" with overlapped I/O; on Linux it is the tty that COMn maps to through the
// registry's HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, driven with termios.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kirnow::platform {

class Registry;

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens COM<portNumber> exclusively at `baud` with 8 data bits, keeping every other line
  // setting as the port had it. False when the port is missing, busy or not a serial device.
  virtual bool Open(int32_t portNumber, int32_t baud) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Writes one byte, waiting at most 1000 ms for the driver to take it. A byte that cannot be
  // written in that time (TimedOut: the display is not reading) or at all is dropped; the port
  // stays open. A failed write tells a removal (Gone: on Linux EIO, ENXIO, ENODEV or a
  // hang-up; on Windows the errors of a surprise-removed handle, or a handle that fails even
  // the status query) from any other error (Failed: a line error, say, which the device has
  // cleared so that the next byte can go). Either way the OS error is kept in LastError.
  enum class WriteResult { Written, TimedOut, Failed, Gone };
  virtual WriteResult WriteByte(uint8_t byte) = 0;
  // True when the driver would take a byte now without waiting: after a time-out, the sign
  // that the display reads again. Never waits.
  virtual bool ReadyToWrite() = 0;
  // False when the open device has gone away (unplugged: on Linux a hang-up, on Windows the
  // handle's errors after a surprise removal); the OS error is kept in LastError. A display
  // that merely stopped reading is alive. Never waits.
  virtual bool Alive() = 0;
  // The OS error (errno, GetLastError) of the last failed open, write, check or read; 0 when
  // none.
  virtual int LastError() const = 0;
  // Why the last Open failed, in words for the user, when the reason is one the user can
  // remedy (on Linux: a device this user may not open, named with its group and the group
  // that may); empty otherwise.
  virtual std::string OpenProblem() const { return {}; }
  // The device the last successful Open opened, as the trace names it: the tty's path on Linux,
  // "\\.\COMn" on Windows; empty where the device cannot tell.
  virtual std::string DevicePath() const { return {}; }
  // Whether the system's record of USB instances shows the open device as one of these ids
  // (four hexadecimal digits each): on Linux the open tty is the tty of a USB device of vid:pid
  // in sysfs; on Windows its COM number is the "PortName" of an instance of vid:pid under
  // Enum\USB. False where the record cannot tell, as for a number mapped to a device by hand.
  virtual bool RecordShowsUsbIds(std::string_view vid, std::string_view pid) {
    (void)vid;
    (void)pid;
    return false;
  }
  // Bytes waiting in the input queue, 0 when none or on error. Clears pending line errors.
  virtual int32_t BytesWaiting() = 0;
  // Reads at most `count` of the waiting bytes into `buffer`; returns the number read.
  virtual int32_t Read(uint8_t* buffer, int32_t count) = 0;
};

// The platform's serial device; on Linux the registry supplies the COMn map.
std::unique_ptr<SerialDevice> MakeSystemSerialDevice(Registry& registry);

}  // namespace kirnow::platform
