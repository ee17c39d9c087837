// A display found through the live view of the USB serial devices, over a real pseudo-terminal:
// a fake sysfs whose tty node leads to the virtual pole display, and a store that holds only the
// device entry. OpenService finds and identifies the display and records its port; after the
// display is pulled out and comes back under another tty name, the port's keeper finds it again
// through the same COM number and repaints it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "serviceobject/core/posl_display.h"
#include "system_platform.h"
#include "tests/support/fake_usb_tree.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

const std::string kDeviceName = "JQ POS POLE DISPLAY";
const std::string kDeviceKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\" + kDeviceName;

// Sets an environment variable for as long as it lives.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

// With a udev link the device's path stays and the link is pointed at the new tty; without one
// the path itself changes.
class UsbDiscoveryOverPty : public ::testing::TestWithParam<bool> {};

TEST_P(UsbDiscoveryOverPty, FoundByItselfAndFollowedAcrossAReplugUnderAnotherTty) {
  const bool udevLink = GetParam();
  it::VirtualDisplay display;
  it::VirtualDisplayOptions options;
  options.extraArgs = {"--reopen-after", "-1"};  // plugged in again when the test says
  ASSERT_TRUE(display.Start(options));

  testsupport::FakeUsbTree usb;
  auto pole = testsupport::FakeUsbTree::PoleDisplay("3-2", "PD0001", "ttyACM0");
  pole.node = display.SlavePath();
  if (udevLink) pole.byId = "usb-Pole_Display_PD0001-if00";
  usb.Plug(pole);
  ScopedEnv sysfs("KIRNOW_SYSFS_ROOT", usb.Sys());
  ScopedEnv dev("KIRNOW_DEV_ROOT", usb.Dev());
  it::TestRegistryFile store;  // the device entry only: no USB record, no mapping
  store.AddOposDevice(kDeviceName);

  it::SystemPlatform sys;
  ModuleState module(sys.Get(), false);
  POSLDisplay so(module);
  so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
  ASSERT_EQ(so.ResultCode, OPOS_SUCCESS);
  EXPECT_TRUE(sys.box.shown.empty());
  EXPECT_EQ(module.PortNumber, 1);
  const auto port = sys.registry->GetValue(kDeviceKey, "Port");
  ASSERT_TRUE(port.has_value());
  EXPECT_EQ(port->AsString(), "COM1");

  so.ClearText();
  so.DisplayTextAt(0, 0, u"found by itself", DISP_DT_NORMAL);
  const std::string line1 = "found by itself" + std::string(5, ' ');
  ASSERT_TRUE(
      display.WaitForSnapshot([&](const it::Snapshot& s) { return s.line1 == line1; }, 3000));

  // Pulled out: the kernel takes the device and its tty away.
  display.Unplug();
  usb.Unplug(pole.bus);
  ASSERT_TRUE(display.WaitForSnapshot([](const it::Snapshot& s) { return !s.plugged; }, 2000));
  so.DisplayTextAt(1, 0, u"meanwhile", DISP_DT_NORMAL);
  EXPECT_TRUE(module.Port.Dead());

  // Plugged in again on a new pty, and the kernel names its tty ttyACM1 (ttyACM0 was still
  // held, say).
  display.Unplug();
  ASSERT_TRUE(display.WaitForSnapshot(
      [](const it::Snapshot& s) { return s.plugged && s.generation == 2; }, 3000));
  const std::string pty = display.Pty();
  ASSERT_FALSE(pty.empty());
  pole.tty = "ttyACM1";
  pole.node = pty;
  usb.Plug(pole);

  // The keeper reopens COM1, which now leads to ttyACM1, and repaints what the display showed
  // and was asked to show meanwhile.
  const std::string line2 = "meanwhile" + std::string(11, ' ');
  EXPECT_TRUE(display.WaitForSnapshot(
      [&](const it::Snapshot& s) { return s.line1 == line1 && s.line2 == line2; }, 5000))
      << display.ReadSnapshot().line1 << "|" << display.ReadSnapshot().line2;
  EXPECT_FALSE(module.Port.Dead());
  EXPECT_EQ(module.PortNumber, 1);
  so.CloseService();

  // The store remembers the number only; the view itself is never saved.
  const std::string saved = store.Read();
  EXPECT_NE(saved.find("\"USB\\\\Vid_" + pole.vid + "&Pid_" + pole.pid + "\\\\PD0001\"=\"COM1\""),
            std::string::npos)
      << saved;
  EXPECT_EQ(saved.find("SERIALCOMM"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("Enum"), std::string::npos) << saved;
}

INSTANTIATE_TEST_SUITE_P(Links, UsbDiscoveryOverPty, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("UdevLink") : std::string("TtyOnly");
                         });

}  // namespace
}  // namespace kirnow
