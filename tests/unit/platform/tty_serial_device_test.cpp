// The Linux serial device against a real pseudo-terminal: the port is found through the
// SERIALCOMM map, opened exclusively in a raw 8-bit line at the asked speed, carries every
// byte value both ways, and never hangs when the other end has gone; a device this user may not
// open is named with its group.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/serial/serial_device.h"
#include "tests/fakes/memory_registry.h"

namespace kirnow::platform {
namespace {

constexpr const char* kMap = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The display's end of the line: the pty master.
class PtyPeer {
 public:
  PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
      slave_ = ptsname(master_);
    }
    fcntl(master_, F_SETFL, O_NONBLOCK);
  }
  ~PtyPeer() { CloseMaster(); }
  const std::string& slavePath() const { return slave_; }
  int fd() const { return master_; }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  void Send(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Whatever arrives within `ms` of real time after the last byte seen.
  std::vector<uint8_t> Receive(size_t expect, int ms = 1000) {
    std::vector<uint8_t> got;
    while (got.size() < expect) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, ms) <= 0) break;
      uint8_t buf[512];
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }
  termios Settings() const {
    termios t{};
    tcgetattr(master_, &t);  // a pty master reports its slave's settings
    return t;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

// Polls the device until `n` bytes are waiting (the pty hands bytes over asynchronously).
bool WaitForBytes(SerialDevice& dev, int32_t n) {
  for (int i = 0; i < 2000 && dev.BytesWaiting() < n; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return dev.BytesWaiting() == n;
}

class TtySerialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(peer_.slavePath().empty());
    registry_.SetString(kMap, "\\Device\\Serial0", "COM1");
    registry_.SetString(kMap, peer_.slavePath(), "COM7");
    device_ = MakeSystemSerialDevice(registry_);
  }

  PtyPeer peer_;
  fakes::MemoryRegistry registry_;
  std::unique_ptr<SerialDevice> device_;
};

TEST_F(TtySerialTest, OpensThroughTheMapWithOnlySpeedAndCharacterSizeChanged) {
  // The port had two stop bits and hardware flow control; they must survive the open (a pty
  // keeps no parity setting).
  termios before = peer_.Settings();
  before.c_cflag |= CRTSCTS | CSTOPB;
  before.c_cflag = (before.c_cflag & ~CSIZE) | CS7;
  ASSERT_EQ(tcsetattr(peer_.fd(), TCSANOW, &before), 0);

  ASSERT_TRUE(device_->Open(7, 9600));
  EXPECT_TRUE(device_->IsOpen());
  const termios after = peer_.Settings();
  EXPECT_EQ(cfgetospeed(&after), B9600);
  EXPECT_EQ(cfgetispeed(&after), B9600);
  EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_TRUE(after.c_cflag & CRTSCTS);
  EXPECT_TRUE(after.c_cflag & CSTOPB);
  // No terminal processing between the service object and the display.
  EXPECT_FALSE(after.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(after.c_oflag & OPOST);
  device_->Close();
  EXPECT_FALSE(device_->IsOpen());
}

TEST_F(TtySerialTest, PortsThatAreNotInTheMapOrNotTerminalsDoNotOpen) {
  EXPECT_FALSE(device_->Open(8, 9600));   // not in the map
  EXPECT_FALSE(device_->Open(1, 9600));   // in the map, no such device
  EXPECT_FALSE(device_->Open(7, 12345));  // a speed the line cannot run at

  char tmpl[] = "/tmp/kirnow-notatty-XXXXXX";
  const int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  registry_.SetString(kMap, tmpl, "COM9");
  EXPECT_FALSE(device_->Open(9, 9600));
  unlink(tmpl);

  // The data must be exactly "COM<n>".
  fakes::MemoryRegistry lower;
  lower.SetString(kMap, peer_.slavePath(), "com7");
  EXPECT_FALSE(MakeSystemSerialDevice(lower)->Open(7, 9600));
  EXPECT_FALSE(device_->IsOpen());
  device_->WriteByte(0x41);  // closed: dropped, no crash
  EXPECT_EQ(device_->BytesWaiting(), 0);
}

TEST_F(TtySerialTest, APortIsUsedByOneOpenerAtATime) {
  ASSERT_TRUE(device_->Open(7, 9600));
  auto second = MakeSystemSerialDevice(registry_);
  EXPECT_FALSE(second->Open(7, 9600));
  device_->Close();
  EXPECT_TRUE(second->Open(7, 19200));
  EXPECT_EQ(cfgetospeed(&static_cast<const termios&>(peer_.Settings())), B19200);
}

TEST_F(TtySerialTest, EveryByteValueCrossesUnchangedBothWays) {
  ASSERT_TRUE(device_->Open(7, 9600));
  std::vector<uint8_t> all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<uint8_t>(b));
  for (uint8_t b : all) device_->WriteByte(b);
  EXPECT_EQ(peer_.Receive(all.size()), all);

  // The identity reply has no line end: it must be countable and readable as it stands.
  // (XON/XOFF are left out: software flow control stays as the port had it.)
  std::vector<uint8_t> reply = {'P', 'I', 'D', ':', '0', 'd', '2', '1'};
  for (uint8_t b : {0x00, 0x03, 0x04, 0x0A, 0x0D, 0x1A, 0x7F, 0xFF}) reply.push_back(b);
  peer_.Send(reply);
  ASSERT_TRUE(WaitForBytes(*device_, static_cast<int32_t>(reply.size())));
  uint8_t one = 0;
  ASSERT_EQ(device_->Read(&one, 1), 1);
  EXPECT_EQ(one, 'P');
  EXPECT_EQ(device_->BytesWaiting(), static_cast<int32_t>(reply.size()) - 1);
  std::vector<uint8_t> rest(64, 0xEE);
  ASSERT_EQ(device_->Read(rest.data(), 64), static_cast<int32_t>(reply.size()) - 1);
  rest.resize(reply.size() - 1);
  EXPECT_EQ(rest, std::vector<uint8_t>(reply.begin() + 1, reply.end()));
  EXPECT_EQ(device_->Read(rest.data(), 64), 0);
  // Nothing was echoed back to the display.
  EXPECT_TRUE(peer_.Receive(1, 50).empty());
}

TEST_F(TtySerialTest, WritingAfterTheOtherEndClosedReturnsPromptly) {
  ASSERT_TRUE(device_->Open(7, 9600));
  peer_.CloseMaster();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) device_->WriteByte(0x41);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(device_->BytesWaiting(), 0);
  uint8_t b = 0;
  EXPECT_EQ(device_->Read(&b, 1), 0);
  device_->Close();
}

// Opens COM4 as an unprivileged user (root gives up its rights in a child for it); returns
// whether the open failed with EACCES, and the device's words on why.
std::pair<bool, std::string> OpenWithoutPermission(const std::string& path) {
  fakes::MemoryRegistry registry;
  registry.SetString(kMap, path, "COM4");
  if (geteuid() != 0) {
    auto device = MakeSystemSerialDevice(registry);
    const bool refused = !device->Open(4, 9600) && device->LastError() == EACCES;
    return {refused, device->OpenProblem()};
  }
  int fds[2];
  if (pipe(fds) != 0) return {false, "no pipe"};
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    auto device = MakeSystemSerialDevice(registry);
    const bool refused = !device->Open(4, 9600) && device->LastError() == EACCES;
    const std::string problem = device->OpenProblem();
    const ssize_t n = write(fds[1], problem.data(), problem.size());
    _exit(refused && n == static_cast<ssize_t>(problem.size()) ? 0 : 1);
  }
  close(fds[1]);
  std::string problem;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) problem.append(buf, n);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) && WEXITSTATUS(status) == 0, problem};
}

TEST(TtySerialPermission, ADeviceThisUserMayNotOpenIsNamedWithItsGroup) {
  char tmpl[] = "/tmp/kirnow-perm-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
  const std::string node = dir + "/ttyACM0";
  const std::string link = dir + "/usb-Pole_Display-if00";
  std::ofstream(node).close();
  ASSERT_EQ(chmod(node.c_str(), geteuid() == 0 ? 0600 : 0), 0);
  std::filesystem::create_symlink(node, link);
  struct stat st {};
  ASSERT_EQ(stat(node.c_str(), &st), 0);
  const group* g = getgrgid(st.st_gid);
  const std::string groupName = g != nullptr ? g->gr_name : std::to_string(st.st_gid);

  const auto [refused, problem] = OpenWithoutPermission(link);
  std::filesystem::remove_all(dir);
  EXPECT_TRUE(refused);
  // The port, the path it was opened by and the tty behind it, the group it belongs to, and
  // the group that the display's udev rule gives it.
  EXPECT_NE(problem.find("COM4 is " + link + " (" + node + ")"), std::string::npos) << problem;
  EXPECT_NE(problem.find("group \"" + groupName + "\""), std::string::npos) << problem;
  EXPECT_NE(problem.find("usermod -aG"), std::string::npos) << problem;
  if (groupName == "root") {
    EXPECT_NE(problem.find("\"dialout\""), std::string::npos) << problem;
  }

  // A port that is merely absent says nothing more than that it failed.
  fakes::MemoryRegistry registry;
  registry.SetString(kMap, dir + "/gone", "COM5");
  auto device = MakeSystemSerialDevice(registry);
  EXPECT_FALSE(device->Open(5, 9600));
  EXPECT_EQ(device->OpenProblem(), "");
}

}  // namespace
}  // namespace kirnow::platform
