// The Linux seams together: the SERIALCOMM map read from a registry file names a pty, and the
// identity exchange crosses the real line in both directions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/registry/posix/reg_store.h"
#include "platform/serial/serial_device.h"
#include "serviceobject/port/serial_port.h"

namespace kirnow::platform {
namespace {

TEST(SerialThroughStore, IdentityExchangeOverAPtyNamedInTheRegistryFile) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);

  char tmpl[] = "/tmp/kirnow-serialmap-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string file = std::string(tmpl) + "/registry.reg";
  {
    std::ofstream out(file);
    out << "Windows Registry Editor Version 5.00\n\n"
        << "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
        << "\"" << slave << "\"=\"COM3\"\n";
  }
  auto registry = MakeRegistryStore(file);
  auto serial = MakeSystemSerialDevice(*registry);
  ASSERT_TRUE(serial->Open(3, 9600));

  for (uint8_t b : {0x1D, 0x49, 0x02}) serial->WriteByte(b);
  uint8_t query[3] = {};
  size_t got = 0;
  while (got < 3) {
    pollfd p{master, POLLIN, 0};
    ASSERT_GT(poll(&p, 1, 2000), 0);
    const ssize_t n = read(master, query + got, 3 - got);
    ASSERT_GT(n, 0);
    got += static_cast<size_t>(n);
  }
  EXPECT_EQ(query[0], 0x1D);
  EXPECT_EQ(query[1], 0x49);
  EXPECT_EQ(query[2], 0x02);

  ASSERT_EQ(write(master, "PID:0d21", 8), 8);
  for (int i = 0; i < 2000 && serial->BytesWaiting() < 8; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(serial->BytesWaiting(), 8);
  char reply[9] = {};
  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(serial->Read(reinterpret_cast<uint8_t*>(reply + i), 1), 1);
  }
  EXPECT_STREQ(reply, "PID:0d21");

  serial->Close();
  close(master);
  std::filesystem::remove_all(tmpl);
}

// A display that stops reading: the pty's other end is never read, so its buffer fills. The
// first byte that cannot go out costs the device's time-out; the port then drops what follows
// at once, and sends whole frames again once the other end has read what was queued.
TEST(SerialThroughStore, AStuckPeerCostsOneTimeOutThenTheRestIsDroppedAtOnce) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  char tmpl[] = "/tmp/kirnow-stuck-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string file = std::string(tmpl) + "/registry.reg";
  std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n"
                      << "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
                      << "\"" << ptsname(master) << "\"=\"COM4\"\n";
  auto registry = MakeRegistryStore(file);
  auto serial = MakeSystemSerialDevice(*registry);
  auto clock = MakeSystemClock();
  kirnow::SerialPort port(*serial, *clock);
  ASSERT_TRUE(port.OpenToIdentify(4, 9600));  // the peer here is no display: taken as it is
  port.Confirm();

  // Fill the line until the driver takes no more: the first byte it refuses times out.
  size_t queued = 0;
  SerialDevice::WriteResult result = SerialDevice::WriteResult::Written;
  while (result == SerialDevice::WriteResult::Written && queued < (1u << 22)) {
    result = serial->WriteByte('x');
    ++queued;
  }
  ASSERT_EQ(result, SerialDevice::WriteResult::TimedOut) << queued << " bytes taken";
  ASSERT_FALSE(serial->ReadyToWrite());
  const uint8_t frame[24] = {0x1F, 0x24, 0x01, 0x01, 'w', 'h', 'o', 'l', 'e', ' ', 'f', 'r',
                             'a',  'm',  'e',  ' ',  'o', 'u', 't', ' ', ' ', ' ', ' ', ' '};
  using Clock = std::chrono::steady_clock;
  auto start = Clock::now();
  port.SendData(frame, 24);
  const auto first = Clock::now() - start;
  EXPECT_TRUE(port.Stalled());
  start = Clock::now();
  for (int i = 0; i < 10; ++i) port.SendData(frame, 24);
  const auto later = Clock::now() - start;
  // Bounds against a hang, not measurements: 24 bytes used to cost 24 time-outs each.
  EXPECT_LT(first, std::chrono::seconds(3));
  EXPECT_LT(later, std::chrono::milliseconds(500));

  // The other end reads everything: the port sends again, and the frame arrives whole.
  std::vector<uint8_t> drained(1 << 16);
  for (int idle = 0; idle < 20;) {
    const ssize_t n = read(master, drained.data(), drained.size());
    if (n > 0) {
      idle = 0;
    } else {
      ++idle;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  port.SendData(frame, 24);
  EXPECT_FALSE(port.Stalled());
  std::vector<uint8_t> got;
  for (int i = 0; i < 200 && got.size() < 24; ++i) {
    uint8_t buffer[64];
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) got.insert(got.end(), buffer, buffer + n);
    if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(got, std::vector<uint8_t>(frame, frame + 24));
  port.Close();
  close(master);
  std::filesystem::remove_all(tmpl);
}

}  // namespace
}  // namespace kirnow::platform
