// The virtual pole display program over a real pseudo-terminal: what a port user writes arrives
// and is interpreted, the identification is answered, and unplugging hangs the line up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kirnow_config.h"
#include "virtual_display.h"

namespace kirnow::it {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// The port user's side: the tty behind the link, raw, non-blocking.
class Port {
 public:
  explicit Port(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    tcflush(fd_, TCIOFLUSH);
  }
  ~Port() {
    if (fd_ >= 0) close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }
  bool Write(const Bytes& b) {
    return write(fd_, b.data(), b.size()) == static_cast<ssize_t>(b.size());
  }
  bool Write(const std::string& s) { return Write(Bytes(s.begin(), s.end())); }
  // Reads what arrives within timeoutMs, up to `max` bytes.
  Bytes Read(size_t max, int timeoutMs) {
    Bytes out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < max && std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
      uint8_t buf[64];
      ssize_t n = read(fd_, buf, std::min(sizeof buf, max - out.size()));
      if (n > 0) out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

const Bytes kQuery = {0x1D, 0x49, 0x02};

TEST(VirtualDisplayProgram, AnswersTheIdentificationAndShowsText) {
  VirtualDisplay vd;
  ASSERT_TRUE(vd.Start());
  Port port(vd.LinkPath());
  ASSERT_TRUE(port.IsOpen());
  ASSERT_TRUE(port.Write(kQuery));
  EXPECT_EQ(port.Read(8, 2000), Str(std::string("PID:") + KIRNOW_USB_PID));

  Bytes text = {0x1B, 0x40, 'J', 'Q', 0x1F, 0x72, 0x01, 'R', 0x1F, 0x24, 0x02, 0x02, 0x80, 0xA3};
  ASSERT_TRUE(port.Write(text));
  ASSERT_TRUE(vd.WaitForBytes(kQuery.size() + text.size(), 3000));
  Snapshot s = vd.ReadSnapshot();
  ASSERT_TRUE(s.valid);
  EXPECT_EQ(s.line1, "JQR                 ");
  EXPECT_EQ(s.line2, " \u20ac\u00a3                 ");
  EXPECT_EQ(s.reverse1, "..R.................");
  EXPECT_EQ(s.cursorRow, 2);
  EXPECT_EQ(s.cursorCol, 4);
  EXPECT_EQ(s.identityQueries, 1);
  EXPECT_EQ(s.identityReplies, 1);

  Bytes all = kQuery;
  all.insert(all.end(), text.begin(), text.end());
  EXPECT_EQ(vd.ReceivedBytes(), all);
}

TEST(VirtualDisplayProgram, SequencesSplitAcrossWritesAreJoined) {
  VirtualDisplay vd;
  ASSERT_TRUE(vd.Start());
  Port port(vd.LinkPath());
  ASSERT_TRUE(port.IsOpen());
  const std::vector<Bytes> pieces = {{0x1F},
                                     {0x24, 0x05},
                                     {0x02},
                                     {'a', 0x1B},
                                     {0x26, 0x01, 0x5F},
                                     {0x5F, 0x05, 0x7F, 0x08},
                                     {0x08, 0x08, 0x7F},
                                     {0x1D, 0x49},
                                     {0x02}};
  size_t total = 0;
  for (const auto& p : pieces) {
    ASSERT_TRUE(port.Write(p));
    total += p.size();
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(port.Read(8, 2000).size(), 8u);
  ASSERT_TRUE(vd.WaitForBytes(total, 3000));
  Snapshot s = vd.ReadSnapshot();
  EXPECT_EQ(s.line2, "    a               ");
  EXPECT_EQ(s.glyph5f, (Bytes{0x7F, 0x08, 0x08, 0x08, 0x7F}));
  EXPECT_EQ(s.ignoredSequences, 0);
}

TEST(VirtualDisplayProgram, PortCanBeOpenedAndClosedManyTimes) {
  VirtualDisplay vd;
  ASSERT_TRUE(vd.Start());
  for (int i = 0; i < 25; ++i) {
    Port port(vd.LinkPath());
    ASSERT_TRUE(port.IsOpen()) << "open " << i;
    ASSERT_TRUE(port.Write(Bytes{static_cast<uint8_t>('0' + i % 10)}));
    ASSERT_TRUE(vd.WaitForBytes(static_cast<size_t>(i) + 1, 2000)) << "write " << i;
  }
  Port last(vd.LinkPath());
  ASSERT_TRUE(last.Write(kQuery));
  EXPECT_EQ(last.Read(8, 2000).size(), 8u);
  EXPECT_EQ(vd.ReadSnapshot().line1, "01234567890123456789");
}

TEST(VirtualDisplayProgram, IdentityModes) {
  {
    VirtualDisplay vd;
    ASSERT_TRUE(vd.Start({"1a2b", "second", 0, {}}));
    Port port(vd.LinkPath());
    ASSERT_TRUE(port.Write(kQuery));
    EXPECT_EQ(port.Read(8, 300), Bytes{});
    ASSERT_TRUE(port.Write(kQuery));
    EXPECT_EQ(port.Read(8, 2000), Str("PID:1a2b"));
  }
  {
    VirtualDisplay vd;
    ASSERT_TRUE(vd.Start({"1a2b", "wrong", 0, {}}));
    Port port(vd.LinkPath());
    ASSERT_TRUE(port.Write(kQuery));
    Bytes reply = port.Read(8, 2000);
    ASSERT_EQ(reply.size(), 8u);
    EXPECT_NE(reply, Str("PID:1a2b"));
  }
  {
    VirtualDisplay vd;
    ASSERT_TRUE(vd.Start({"", "silent", 0, {}}));
    Port port(vd.LinkPath());
    ASSERT_TRUE(port.Write(kQuery));
    EXPECT_EQ(port.Read(8, 300), Bytes{});
    EXPECT_TRUE(vd.WaitForSnapshot([](const Snapshot& s) { return s.identityQueries == 1; }, 2000))
        << vd.ReadSnapshot().identityQueries;
  }
}

TEST(VirtualDisplayProgram, UnplugHangsUpAndReplugComesBackAtTheLink) {
  VirtualDisplay vd;
  ASSERT_TRUE(vd.Start());
  Port port(vd.LinkPath());
  ASSERT_TRUE(port.IsOpen());
  ASSERT_TRUE(port.Write("before"));
  ASSERT_TRUE(vd.WaitForBytes(6, 2000));

  vd.Unplug();
  ASSERT_TRUE(vd.WaitForSnapshot([](const Snapshot& s) { return !s.plugged; }, 2000));
  EXPECT_FALSE(Exists(vd.LinkPath()));
  // The old line is hung up: reads see the end or an error, writes fail.
  pollfd p{port.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 1000), 1);
  EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
  uint8_t b = 'x';
  EXPECT_EQ(write(port.fd(), &b, 1), -1);
  EXPECT_EQ(errno, EIO);

  // Plugged in again after the default delay, as a fresh display.
  ASSERT_TRUE(
      vd.WaitForSnapshot([](const Snapshot& s) { return s.plugged && s.generation == 2; }, 3000));
  ASSERT_TRUE(WaitFor([&] { return Exists(vd.LinkPath()); }, 2000));
  Snapshot s = vd.ReadSnapshot();
  EXPECT_EQ(s.line1, std::string(20, ' '));
  Port again(vd.LinkPath());
  ASSERT_TRUE(again.IsOpen());
  ASSERT_TRUE(again.Write(kQuery));
  EXPECT_EQ(again.Read(8, 2000).size(), 8u);
  ASSERT_TRUE(again.Write("after"));
  ASSERT_TRUE(vd.WaitForBytes(6 + 3 + 5, 2000));
  EXPECT_EQ(vd.ReadSnapshot().line1, "after               ");
}

TEST(VirtualDisplayProgram, ScheduledHangupAndSignalReplug) {
  VirtualDisplay vd;
  ASSERT_TRUE(vd.Start({"", "answer", 0, {"--hangup-after", "100", "--reopen-after", "-1"}}));
  ASSERT_TRUE(vd.WaitForSnapshot([](const Snapshot& s) { return !s.plugged; }, 2000));
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(vd.ReadSnapshot().plugged);  // stays out until told
  vd.Unplug();                              // the same signal plugs it back in
  ASSERT_TRUE(vd.WaitForSnapshot([](const Snapshot& s) { return s.plugged; }, 2000));
  ASSERT_TRUE(WaitFor([&] { return Exists(vd.LinkPath()); }, 2000));
}

TEST(VirtualDisplayProgram, PacingHoldsTheByteRate) {
  VirtualDisplay vd;
  ASSERT_TRUE(vd.Start({"", "answer", 1200, {}}));  // 120 bytes per second
  Port port(vd.LinkPath());
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(port.Write(std::string(60, 'p')));
  ASSERT_TRUE(vd.WaitForBytes(60, 5000));
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 400ms);  // 60 bytes need 500 ms of wire time
}

TEST(VirtualDisplayProgram, MarqueeFramesAreCounted) {
  VirtualDisplay vd;
  ASSERT_TRUE(vd.Start());
  Port port(vd.LinkPath());
  for (int i = 0; i < 6; ++i) {
    Bytes frame = {0x1F, 0x24, 0x01, 0x01};
    for (int c = 0; c < 20; ++c) frame.push_back(static_cast<uint8_t>('A' + (i + c) % 26));
    ASSERT_TRUE(port.Write(frame));
    std::this_thread::sleep_for(40ms);
  }
  ASSERT_TRUE(vd.WaitForBytes(6 * 24, 2000));
  Snapshot s = vd.ReadSnapshot();
  ASSERT_EQ(s.frames.size(), 1u);
  EXPECT_EQ(s.frames[0].count, 6);
  EXPECT_GT(s.frames[0].periodMs, 30);
  EXPECT_DOUBLE_EQ(s.frames[0].charsPerFrame, 20);
}

TEST(VirtualDisplayProgram, TerminationRemovesTheLink) {
  VirtualDisplay vd;
  ASSERT_TRUE(vd.Start());
  ASSERT_TRUE(Exists(vd.LinkPath()));
  kill(vd.ProcessId(), SIGTERM);
  EXPECT_TRUE(WaitFor([&] { return !Exists(vd.LinkPath()); }, 3000));
}

TEST(VirtualDisplayProgram, RefusesToReplaceAFileAtTheLinkPath) {
  char tmpl[] = "/tmp/kirnow-vpdlink-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string file = std::string(tmpl) + "/data";
  { std::ofstream(file) << "keep me"; }
  std::string cmd =
      std::string(std::getenv("KIRNOW_BIN_DIR") ? std::getenv("KIRNOW_BIN_DIR") : ".") +
      "/vpoledisplay --no-render --link " + file + " >/dev/null 2>&1";
  EXPECT_NE(std::system(cmd.c_str()), 0);
  std::ifstream in(file);
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "keep me");
  std::filesystem::remove_all(tmpl);
}

TEST(TestRegistryFileFixture, WritesTheStoreAndPointsTheEnvironmentAtIt) {
  std::string path;
  {
    TestRegistryFile reg;
    path = reg.Path();
    EXPECT_EQ(std::string(std::getenv("KIRNOW_REGISTRY")), path);
    reg.AddDisplay("JQ POS POLE DISPLAY", 5, "/tmp/pole");
    std::string text = reg.Read();
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ "
                        "POS POLE DISPLAY]\n@=\"JQ.POSLDisplay.1\""),
              std::string::npos);
    EXPECT_NE(
        text.find(std::string("\\Enum\\USB\\Vid_") + KIRNOW_USB_VID + "&Pid_" + KIRNOW_USB_PID +
                  "\\6&2b4e1f0&0&1\\Device Parameters]\n\"PortName\"=\"COM5\""),
        std::string::npos);
    EXPECT_NE(
        text.find("[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n\"/tmp/pole\"=\"COM5\""),
        std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace kirnow::it
