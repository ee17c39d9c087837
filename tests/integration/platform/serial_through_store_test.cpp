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

#include "platform/registry/posix/reg_store.h"
#include "platform/serial/serial_device.h"

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

}  // namespace
}  // namespace kirnow::platform
