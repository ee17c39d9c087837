// OpenService end to end over a real pseudo-terminal to the virtual pole display, through the
// system's registry store, serial device, clock and code page.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kirnow_config.h"
#include "platform/platform.h"
#include "serviceobject/core/posl_display.h"
#include "system_platform.h"
#include "tests/fakes/recording_message_box.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

using Box = std::pair<std::string, std::string>;
using SteadyClock = std::chrono::steady_clock;

const std::string kDeviceName = "JQ POS POLE DISPLAY";
const std::string kDeviceKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\" + kDeviceName;

using it::SystemPlatform;

std::vector<uint8_t> Expected() {
  std::vector<uint8_t> bytes = {0x1D, 0x49, 0x02, 0x1D, 0x49, 0x02, 0x1B, 0x40};
  const std::string greeting = kDeviceName + " Open Success";
  bytes.insert(bytes.end(), greeting.begin(), greeting.end());
  bytes.push_back(0x1B);
  bytes.push_back(0x40);
  return bytes;
}

double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

TEST(SessionOverPty, OpenServiceIdentifiesGreetsAndRecordsThePort) {
  it::VirtualDisplay display;
  ASSERT_TRUE(display.Start());
  it::TestRegistryFile store;
  store.AddDisplay(kDeviceName, 7, display.LinkPath());

  {
    SystemPlatform sys;
    ModuleState module(sys.Get(), false);
    POSLDisplay so(module);
    so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);

    EXPECT_EQ(so.ResultCode, OPOS_SUCCESS);
    EXPECT_TRUE(sys.box.shown.empty());
    EXPECT_EQ(module.PortNumber, 7);
    EXPECT_TRUE(module.Port.Opened());

    const std::vector<uint8_t> expected = Expected();
    EXPECT_TRUE(display.WaitForBytes(expected.size(), 3000));
    EXPECT_EQ(display.ReceivedBytes(), expected);

    // ClaimDevice finds the port open; CloseService closes it and a claim reopens it.
    so.ClaimDevice(1000);
    EXPECT_EQ(so.ResultCode, OPOS_SUCCESS);
    so.CloseService();
    EXPECT_FALSE(module.Port.Opened());
    so.ClaimDevice(1000);
    EXPECT_EQ(so.Claimed, 1);
    EXPECT_TRUE(module.Port.Opened());
    so.CloseService();
  }

  // The value is in the store file, read back by a fresh reader.
  auto reader = platform::MakeSystemRegistry(DisplayUsbIds());
  auto port = reader->GetValue(kDeviceKey, "Port");
  ASSERT_TRUE(port.has_value());
  EXPECT_EQ(port->type, platform::RegType::String);
  EXPECT_EQ(port->AsString(), "COM7");
}

TEST(SessionOverPty, SilentDisplayIsOfflineWithinTheTimeOuts) {
  it::VirtualDisplay display;
  it::VirtualDisplayOptions options;
  options.identity = "silent";
  ASSERT_TRUE(display.Start(options));
  it::TestRegistryFile store;
  store.AddDisplay(kDeviceName, 4, display.LinkPath());

  SystemPlatform sys;
  ModuleState module(sys.Get(), false);
  POSLDisplay so(module);
  const auto start = SteadyClock::now();
  so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
  const double seconds = SecondsSince(start);

  EXPECT_EQ(so.ResultCode, OPOS_E_OFFLINE);
  EXPECT_EQ(sys.box.shown, (std::vector<Box>{{"OPOS_E_OFFLINE", "OpenService"}}));
  EXPECT_EQ(module.PortNumber, 0);
  EXPECT_FALSE(module.Port.Opened());
  // The identification waits 500 ms on a millisecond tick; allow for the tick granularity.
  EXPECT_GE(seconds, 0.49);
  EXPECT_LT(seconds, 5.0);
  EXPECT_TRUE(display.WaitForBytes(6, 3000));
  EXPECT_EQ(display.ReceivedBytes(), (std::vector<uint8_t>{0x1D, 0x49, 0x02, 0x1D, 0x49, 0x02}));
}

TEST(SessionOverPty, DisplayUnpluggedDuringAWriteNeitherCrashesNorHangs) {
  it::VirtualDisplay display;
  it::VirtualDisplayOptions options;
  options.baud = 9600;  // about a millisecond per byte, so the write below is still running
  ASSERT_TRUE(display.Start(options));
  it::TestRegistryFile store;
  store.AddDisplay(kDeviceName, 2, display.LinkPath());

  SystemPlatform sys;
  ModuleState module(sys.Get(), false);
  POSLDisplay so(module);
  so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
  ASSERT_EQ(so.ResultCode, OPOS_SUCCESS);

  // More than the pty's buffer holds, so the writer is blocked on the paced display when it
  // goes away.
  const std::vector<uint8_t> text(20000, 'x');
  std::atomic<bool> done{false};
  int32_t sent = 0;
  std::thread writer([&] {
    sent = module.Port.SendData(text.data(), static_cast<int32_t>(text.size()));
    done = true;
  });
  const bool started = display.WaitForBytes(Expected().size() + 200, 5000);
  const auto unplugged = SteadyClock::now();
  display.Unplug();
  while (!done && SecondsSince(unplugged) < 20.0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(done) << "the write did not end after the display went away";
  writer.join();
  EXPECT_TRUE(started);
  EXPECT_EQ(sent, static_cast<int32_t>(text.size()));  // write failures are not reported

  // The port object stays usable: sends are dropped and closing works.
  module.Port.SendByte(0x41);
  so.CloseService();
  EXPECT_FALSE(module.Port.Opened());
}

TEST(SessionOverPty, AnUnpluggedDisplayComesBackByItselfShowingWhatItShowed) {
  it::VirtualDisplay display;
  ASSERT_TRUE(display.Start());  // plugs itself in again 500 ms after an unplug
  it::TestRegistryFile store;
  store.AddDisplay(kDeviceName, 3, display.LinkPath());

  SystemPlatform sys;
  ModuleState module(sys.Get(), false);
  POSLDisplay so(module);
  so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
  ASSERT_EQ(so.ResultCode, OPOS_SUCCESS);
  so.ClearText();
  so.DisplayTextAt(0, 0, u"first line", DISP_DT_NORMAL);
  so.DisplayTextAt(1, 3, u"second line", DISP_DT_NORMAL);
  const std::string line1 = "first line" + std::string(10, ' ');
  const std::string line2 = "   second line" + std::string(6, ' ');
  ASSERT_TRUE(display.WaitForSnapshot(
      [&](const it::Snapshot& s) { return s.line1 == line1 && s.line2 == line2; }, 3000));

  // Pulled out; the next output finds the port dead and returns at once.
  display.Unplug();
  ASSERT_TRUE(display.WaitForSnapshot([](const it::Snapshot& s) { return !s.plugged; }, 2000));
  const auto poke = SteadyClock::now();
  so.DisplayTextAt(1, 3, u"second line", DISP_DT_NORMAL);
  EXPECT_LT(SecondsSince(poke), 1.5);
  EXPECT_TRUE(module.Port.Dead());

  // Plugged in again (a fresh display, blank): the port reopens by itself and repaints.
  ASSERT_TRUE(display.WaitForSnapshot(
      [](const it::Snapshot& s) { return s.plugged && s.generation == 2; }, 3000));
  EXPECT_TRUE(display.WaitForSnapshot(
      [&](const it::Snapshot& s) { return s.line1 == line1 && s.line2 == line2; }, 3000))
      << display.ReadSnapshot().line1 << "|" << display.ReadSnapshot().line2;
  EXPECT_FALSE(module.Port.Dead());
  so.CloseService();
}

}  // namespace
}  // namespace kirnow
