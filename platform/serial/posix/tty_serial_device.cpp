// The Linux serial device: a tty driven with termios. The system's finds COMn in
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM (value name = device path, data = "COMn").
#include "platform/serial/posix/tty_serial_device.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/device/posix/usb_serial_scan.h"
#include "platform/registry/com_names.h"
#include "platform/registry/registry.h"
#include "platform/serial/posix/tty_permission.h"
#include "platform/sync/thread_safety.h"
#include "platform/text/name_compare.h"

namespace kirnow::platform {
namespace {

const std::string kSerialCommKey(comnames::kSerialCommKey);
constexpr int kWriteTimeoutMs = 1000;
// At a close: how long output the device has not taken yet may stay where it is before it is
// dropped, and how long the close waits for a display that reads it at most.
constexpr int kCloseNoProgressMs = 200;
constexpr int kCloseDrainMs = 2000;

std::optional<speed_t> SpeedFor(int32_t baud) {
  switch (baud) {
    case 110:
      return B110;
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 921600:
      return B921600;
    default:
      return std::nullopt;
  }
}

bool IsRemoval(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The line: only the speed and the character size change; parity, stop bits and flow control
// stay as the port had them. A Windows COM port has no terminal line discipline, so echo, line
// editing, signal characters and newline translation are switched off: left on, they would echo
// the display's replies back to it and hold bytes back until a newline arrived.
bool SetLine(int fd, speed_t speed) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS8 | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &t) != 0) return false;
  // A fresh Windows handle starts with empty queues; a tty keeps what arrived while nobody had
  // it open (an old identity reply, say), so drop that.
  tcflush(fd, TCIFLUSH);
  return true;
}

class TtySerialDevice : public SerialDevice {
 public:
  explicit TtySerialDevice(ComPathLookup pathOf) : pathOf_(std::move(pathOf)) {}
  ~TtySerialDevice() override { Close(); }
  TtySerialDevice(const TtySerialDevice&) = delete;
  TtySerialDevice& operator=(const TtySerialDevice&) = delete;

  bool Open(int32_t portNumber, int32_t baud) override {
    MutexHold lock(mutex_);
    CloseLocked();
    openProblem_.clear();
    const std::optional<speed_t> speed = SpeedFor(baud);
    if (!speed || portNumber <= 0) return false;
    const std::optional<std::string> path = pathOf_(portNumber);
    if (!path) return false;

    const int fd = open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      lastError_ = errno;
      if (lastError_ == EACCES || lastError_ == EPERM) {
        openProblem_ = PermissionProblem(*path, portNumber);
      }
      return false;
    }
    if (!isatty(fd)) {
      close(fd);
      return false;
    }
    // Exclusive use, as Windows opens a COM port: refuse a tty another program holds
    // exclusively (root could open it anyway), then take it ourselves. The advisory lock
    // also keeps out a second opener that runs as root.
    int exclusive = 0;
    if ((ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) ||
        flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
      close(fd);
      return false;
    }
    if (!SetLine(fd, *speed)) {
      ioctl(fd, TIOCNXCL);
      close(fd);
      return false;
    }
    fd_ = fd;
    path_ = *path;
    return true;
  }

  void Close() override {
    MutexHold lock(mutex_);
    CloseLocked();
  }

  bool IsOpen() const override {
    MutexHold lock(mutex_);
    return fd_ >= 0;
  }

  WriteResult WriteByte(uint8_t byte) override {
    MutexHold lock(mutex_);
    if (fd_ < 0) return WriteResult::Gone;
    const int64_t deadline = NowMs() + kWriteTimeoutMs;
    while (true) {
      const ssize_t n = write(fd_, &byte, 1);
      if (n == 1) return WriteResult::Written;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        const int64_t left = deadline - NowMs();
        if (left <= 0) return WriteResult::TimedOut;  // the driver did not take it in time
        pollfd p{fd_, POLLOUT, 0};
        const int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) return WriteResult::TimedOut;
        if (r < 0) {
          lastError_ = errno;
          return WriteResult::Failed;
        }
        if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
          lastError_ = EIO;  // hung up: the device went away
          return WriteResult::Gone;
        }
        continue;
      }
      // The byte is dropped. EIO (a hung-up tty: the USB adapter was pulled, or the other end
      // of a pty closed), ENXIO and ENODEV say the device is gone; the rest are other errors.
      lastError_ = n < 0 ? errno : EIO;
      return IsRemoval(lastError_) ? WriteResult::Gone : WriteResult::Failed;
    }
  }

  bool ReadyToWrite() override {
    MutexHold lock(mutex_);
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLOUT, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLOUT) != 0 &&
           (p.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
  }

  bool Alive() override {
    MutexHold lock(mutex_);
    if (fd_ < 0) return false;
    // A tty whose device went away (a USB adapter pulled, a pty whose other end closed) is hung
    // up: poll reports it at once, and every ioctl on it fails with EIO.
    pollfd p{fd_, POLLOUT, 0};
    const int r = poll(&p, 1, 0);
    if (r < 0 && errno != EINTR) {
      lastError_ = errno;
      return false;
    }
    if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      lastError_ = EIO;
      return false;
    }
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0 && errno == EIO) {
      lastError_ = EIO;
      return false;
    }
    return true;
  }

  int LastError() const override {
    MutexHold lock(mutex_);
    return lastError_;
  }

  bool RecordShowsUsbIds(std::string_view vid, std::string_view pid) override {
    struct stat opened {};
    {
      MutexHold lock(mutex_);
      if (fd_ < 0 || fstat(fd_, &opened) != 0) return false;
    }
    // The same tty as that of a USB device of these ids that sysfs shows now; a number mapped to
    // a device by hand (a tty without a USB device, or another device's) cannot tell.
    for (const UsbSerialDevice& d : ScanUsbSerialDevices(SysfsRoot(), DevRoot())) {
      struct stat node {};
      if (text::EqualsNoCase(d.vid, vid) && text::EqualsNoCase(d.pid, pid) &&
          stat(d.ttyPath.c_str(), &node) == 0 && S_ISCHR(node.st_mode) &&
          node.st_rdev == opened.st_rdev) {
        return true;
      }
    }
    return false;
  }

  std::string OpenProblem() const override {
    MutexHold lock(mutex_);
    return openProblem_;
  }

  std::string DevicePath() const override {
    MutexHold lock(mutex_);
    return path_;
  }

  int32_t BytesWaiting() override {
    MutexHold lock(mutex_);
    if (fd_ < 0) return 0;
    int n = 0;
    if (ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
    return n;
  }

  int32_t Read(uint8_t* buffer, int32_t count) override {
    MutexHold lock(mutex_);
    if (fd_ < 0 || buffer == nullptr || count <= 0) return 0;
    while (true) {
      const ssize_t n = read(fd_, buffer, static_cast<size_t>(count));
      if (n < 0 && errno == EINTR) continue;
      return n > 0 ? static_cast<int32_t>(n) : 0;
    }
  }

 private:
  void CloseLocked() KIRNOW_REQUIRES(mutex_) {
    if (fd_ < 0) return;
    ioctl(fd_, TIOCNXCL);
    // The last bytes written (an Exit's clear) go out to a display that reads them; what a
    // display that does not read still holds back is dropped, so the close never waits for it
    // long (the kernel would drain it for up to its closing wait, 30 s on a USB adapter). A
    // flush before that would drop the bytes a USB adapter's driver still holds for a display
    // that reads them.
    const int64_t until = NowMs() + kCloseDrainMs;
    int queued = 0;
    int last = -1;
    int64_t lastMoved = NowMs();
    while (ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0 && NowMs() < until) {
      if (queued != last) {
        last = queued;
        lastMoved = NowMs();
      } else if (NowMs() - lastMoved >= kCloseNoProgressMs) {
        break;
      }
      poll(nullptr, 0, 5);
    }
    if (queued > 0) tcflush(fd_, TCOFLUSH);
    close(fd_);
    fd_ = -1;
  }

  const ComPathLookup pathOf_;
  mutable Mutex mutex_;
  int fd_ KIRNOW_GUARDED_BY(mutex_) = -1;
  // errno of the last failure, for the trace and the tests.
  int lastError_ KIRNOW_GUARDED_BY(mutex_) = 0;
  std::string openProblem_ KIRNOW_GUARDED_BY(mutex_);  // see OpenProblem
  std::string path_ KIRNOW_GUARDED_BY(mutex_);         // of the last successful Open
};

// The device whose SERIALCOMM entry's data is exactly "COM<n>".
std::optional<std::string> SerialCommPath(Registry& registry, int32_t n) {
  const std::string want = comnames::ComName(n);
  const std::optional<uint32_t> count = registry.ValueCount(kSerialCommKey);
  if (!count) return std::nullopt;
  for (uint32_t i = 0; i < *count; ++i) {
    const std::optional<RegValue> v = registry.ValueAt(kSerialCommKey, i);
    if (v && !v->name.empty() && v->AsString() == want) return v->name;
  }
  return std::nullopt;
}

}  // namespace

std::unique_ptr<SerialDevice> MakeTtySerialDevice(ComPathLookup pathOf) {
  return std::make_unique<TtySerialDevice>(std::move(pathOf));
}

std::unique_ptr<SerialDevice> MakeSystemSerialDevice(Registry& registry) {
  return MakeTtySerialDevice([&registry](int32_t n) { return SerialCommPath(registry, n); });
}

}  // namespace kirnow::platform
