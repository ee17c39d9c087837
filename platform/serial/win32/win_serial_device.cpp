// The Windows serial device: "\\.\COMn" opened for overlapped I/O, one byte per write.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601  // CancelIoEx
#endif
#include <cwchar>

#include "platform/registry/com_names.h"
#include "platform/registry/registry.h"
#include "platform/serial/serial_device.h"
#include "platform/sync/thread_safety.h"
#include "platform/win32/windows_headers.h"

namespace kirnow::platform {
namespace {

constexpr DWORD kWriteWaitMs = 1000;
constexpr DWORD kReadWaitMs = 2000;
constexpr DWORD kQueueSize = 10000;

// The errors a handle gives once its device was surprise-removed: the USB serial drivers answer
// ERROR_BAD_COMMAND, ERROR_ACCESS_DENIED or ERROR_GEN_FAILURE, the system
// ERROR_DEVICE_REMOVED or ERROR_DEVICE_NOT_CONNECTED, and Wine ERROR_NOT_READY once the tty
// behind the port hung up.
bool IsRemoval(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
      return true;
    default:
      return false;
  }
}

class WinSerialDevice : public SerialDevice {
 public:
  explicit WinSerialDevice(Registry& registry) : registry_(registry) {
    ZeroMemory(&readOv_, sizeof readOv_);
    ZeroMemory(&writeOv_, sizeof writeOv_);
  }
  ~WinSerialDevice() override { Close(); }
  WinSerialDevice(const WinSerialDevice&) = delete;
  WinSerialDevice& operator=(const WinSerialDevice&) = delete;

  bool Open(int32_t portNumber, int32_t baud) override {
    MutexHold lock(mutex_);
    CloseLocked();
    wchar_t path[32];
    std::swprintf(path, 32, L"\\\\.\\COM%d", static_cast<int>(portNumber));
    HANDLE h = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      lastError_ = GetLastError();
      return false;
    }
    portNumber_ = portNumber;

    ZeroMemory(&readOv_, sizeof readOv_);
    ZeroMemory(&writeOv_, sizeof writeOv_);

    // Reads return at once with whatever has arrived; a write may take up to 5 s in the driver.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 5000;
    SetCommTimeouts(h, &timeouts);

    readOv_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    writeOv_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    // Only the speed and the data bits change; everything else stays as the port had it.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    bool applied = GetCommState(h, &dcb) != FALSE;
    if (applied) {
      dcb.BaudRate = static_cast<DWORD>(baud);
      dcb.ByteSize = 8;
      applied = SetCommState(h, &dcb) != FALSE;
    }
    const bool queues = SetupComm(h, kQueueSize, kQueueSize) != FALSE;

    handle_ = h;
    if (applied && queues && readOv_.hEvent != nullptr && writeOv_.hEvent != nullptr) return true;
    CloseLocked();
    return false;
  }

  void Close() override {
    MutexHold lock(mutex_);
    CloseLocked();
  }

  // The system gives each USB instance its COM number and records it under the instance: a
  // number that an instance of these ids has is that device's.
  bool RecordShowsUsbIds(std::string_view vid, std::string_view pid) override {
    int32_t number = 0;
    {
      MutexHold lock(mutex_);
      if (handle_ == INVALID_HANDLE_VALUE) return false;
      number = portNumber_;
    }
    const std::string instances = comnames::UsbInstancesKey(vid, pid);
    const std::string want = comnames::ComName(number);
    const uint32_t count = registry_.SubkeyCount(instances).value_or(0);
    for (uint32_t i = 0; i < count; ++i) {
      const std::optional<std::string> name = registry_.SubkeyName(instances, i);
      if (!name) continue;
      const std::optional<RegValue> port = registry_.GetValue(
          instances + "\\" + *name + "\\" + std::string(comnames::kDeviceParameters),
          std::string(comnames::kPortName));
      if (port && port->AsString() == want) return true;
    }
    return false;
  }

  bool IsOpen() const override {
    MutexHold lock(mutex_);
    return handle_ != INVALID_HANDLE_VALUE;
  }

  WriteResult WriteByte(uint8_t byte) override {
    MutexHold lock(mutex_);
    if (handle_ == INVALID_HANDLE_VALUE) return WriteResult::Gone;
    outByte_ = byte;  // stays put until the write is over
    DWORD written = 0;
    if (WriteFile(handle_, &outByte_, 1, &written, &writeOv_)) {
      return written == 1 ? WriteResult::Written : WriteResult::TimedOut;
    }
    if (GetLastError() != ERROR_IO_PENDING) return FailedLocked(GetLastError());
    if (WaitForSingleObject(writeOv_.hEvent, kWriteWaitMs) == WAIT_OBJECT_0) {
      if (GetOverlappedResult(handle_, &writeOv_, &written, FALSE)) {
        writeOv_.Offset += written;
        return written == 1 ? WriteResult::Written : WriteResult::TimedOut;
      }
      return FailedLocked(GetLastError());
    }
    // Abandoned after the wait. Cancel it and wait for the cancel to finish: left pending, it
    // could still go out after the next byte, or complete into a reused buffer and record.
    CancelIoEx(handle_, &writeOv_);
    GetOverlappedResult(handle_, &writeOv_, &written, TRUE);
    return written == 1 ? WriteResult::Written : WriteResult::TimedOut;
  }

  bool ReadyToWrite() override {
    MutexHold lock(mutex_);
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    // The display reads again once the driver's output queue has drained.
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(handle_, &errors, &stat)) {
      lastError_ = GetLastError();
      return false;
    }
    return stat.cbOutQue == 0;
  }

  bool Alive() override {
    MutexHold lock(mutex_);
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    // After a surprise removal the handle fails every request, this one included (the USB
    // serial driver answers ERROR_BAD_COMMAND or ERROR_ACCESS_DENIED).
    DWORD errors = 0;
    COMSTAT stat{};
    if (ClearCommError(handle_, &errors, &stat)) return true;
    lastError_ = GetLastError();
    return false;
  }

  int LastError() const override {
    MutexHold lock(mutex_);
    return static_cast<int>(lastError_);
  }

  int32_t BytesWaiting() override {
    MutexHold lock(mutex_);
    if (handle_ == INVALID_HANDLE_VALUE) return 0;
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(handle_, &errors, &stat)) return 0;
    return static_cast<int32_t>(stat.cbInQue);
  }

  int32_t Read(uint8_t* buffer, int32_t count) override {
    MutexHold lock(mutex_);
    if (handle_ == INVALID_HANDLE_VALUE || buffer == nullptr || count <= 0) return 0;
    DWORD got = 0;
    if (ReadFile(handle_, buffer, static_cast<DWORD>(count), &got, &readOv_)) {
      return static_cast<int32_t>(got);
    }
    if (GetLastError() != ERROR_IO_PENDING) return 0;
    // A pending read reports what it actually transferred once it is over, so bytes that
    // arrived meanwhile are not lost.
    if (WaitForSingleObject(readOv_.hEvent, kReadWaitMs) != WAIT_OBJECT_0) {
      // Not over in time: cancel and wait for the cancel, so nothing is written into the
      // caller's buffer after we return.
      CancelIoEx(handle_, &readOv_);
    }
    // A cancelled read may still have moved some bytes; they count.
    got = 0;
    GetOverlappedResult(handle_, &readOv_, &got, TRUE);
    return static_cast<int32_t>(got);
  }

  std::string DevicePath() const override {
    MutexHold lock(mutex_);
    return portNumber_ > 0 ? "\\\\.\\COM" + std::to_string(portNumber_) : std::string();
  }

 private:
  // A write failed with `error`. A removal kills the port; any other error (ERROR_OPERATION_
  // ABORTED after a line error on a port that aborts on errors, say) loses the byte only, and
  // the status query clears the error so that the next byte can go. A handle that fails even
  // that query is gone, whatever the write said.
  WriteResult FailedLocked(DWORD error) KIRNOW_REQUIRES(mutex_) {
    lastError_ = error;
    if (IsRemoval(error)) return WriteResult::Gone;
    DWORD errors = 0;
    COMSTAT stat{};
    if (ClearCommError(handle_, &errors, &stat)) return WriteResult::Failed;
    lastError_ = GetLastError();
    return WriteResult::Gone;
  }

  void CloseLocked() KIRNOW_REQUIRES(mutex_) {
    if (readOv_.hEvent != nullptr) CloseHandle(readOv_.hEvent);
    if (writeOv_.hEvent != nullptr) CloseHandle(writeOv_.hEvent);
    readOv_.hEvent = nullptr;
    writeOv_.hEvent = nullptr;
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  Registry& registry_;
  mutable Mutex mutex_;
  int32_t portNumber_ KIRNOW_GUARDED_BY(mutex_) = 0;  // of the last successful Open
  HANDLE handle_ KIRNOW_GUARDED_BY(mutex_) = INVALID_HANDLE_VALUE;
  OVERLAPPED readOv_ KIRNOW_GUARDED_BY(mutex_);
  OVERLAPPED writeOv_ KIRNOW_GUARDED_BY(mutex_);
  uint8_t outByte_ KIRNOW_GUARDED_BY(mutex_) = 0;
  // GetLastError of the last failure, for the trace and the tests.
  DWORD lastError_ KIRNOW_GUARDED_BY(mutex_) = 0;
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSystemSerialDevice(Registry& registry) {
  return std::make_unique<WinSerialDevice>(registry);
}

}  // namespace kirnow::platform
