// The live view of the USB serial devices over a fake sysfs and /dev: exactly the plugged-in
// devices with a tty appear, each walk sees what was plugged in or pulled out since the last,
// a device keeps its COM number across replugs and restarts, and what the store says wins.
#include "platform/registry/posix/live_usb_registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kirnow_config.h"
#include "platform/registry/com_names.h"
#include "platform/registry/com_number_listener.h"
#include "tests/support/fake_usb_tree.h"
#include "tests/support/file_text.h"

namespace kirnow::platform {
namespace {

using testsupport::FakeUsbTree;

const std::string kEnum = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB";
const std::string kSerialComm = "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM";

const std::string kVid = FakeUsbTree::Lower(KIRNOW_USB_VID);
const std::string kPid = FakeUsbTree::Lower(KIRNOW_USB_PID);
const std::string kOurs = kEnum + "\\Vid_" + kVid + "&Pid_" + kPid;
const auto Ours = FakeUsbTree::PoleDisplay;

class LiveUsbView : public ::testing::Test {
 protected:
  std::unique_ptr<LiveUsbRegistry> Open() {
    return std::make_unique<LiveUsbRegistry>(std::make_unique<RegistryStore>(store_), tree.Sys(),
                                             tree.Dev(), UsbIds{kVid, kPid});
  }

  // instance -> PortName under `key`, walked as OpenService walks it: the count, then each
  // name, then each instance's values.
  static std::map<std::string, std::string> Instances(Registry& r, const std::string& key = kOurs) {
    std::map<std::string, std::string> out;
    const uint32_t n = r.SubkeyCount(key).value_or(0);
    for (uint32_t i = 0; i < n; ++i) {
      const auto name = r.SubkeyName(key, i);
      if (!name) continue;
      const auto port = r.GetValue(key + "\\" + *name + "\\Device Parameters", "PortName");
      out[*name] = port ? port->AsString().value_or("?") : "";
    }
    return out;
  }

  // SERIALCOMM as device path -> "COMn".
  static std::map<std::string, std::string> SerialComm(Registry& r) {
    std::map<std::string, std::string> out;
    const uint32_t n = r.ValueCount(kSerialComm).value_or(0);
    for (uint32_t i = 0; i < n; ++i) {
      const auto v = r.ValueAt(kSerialComm, i);
      if (v) out[v->name] = v->AsString().value_or("?");
    }
    return out;
  }

  FakeUsbTree tree;
  testsupport::ScratchDir dir_{"kirnow-view"};
  std::string store_ = dir_.path() + "/registry.reg";
};

TEST_F(LiveUsbView, ShowsExactlyThePluggedInSerialDevicesWithTheirPorts) {
  FakeUsbTree::Device withSerial = Ours("1-1", "A1B2C3", "ttyACM0");
  withSerial.byId = "usb-Maker_Pole_Display_A1B2C3-if00";
  tree.Plug(withSerial);
  FakeUsbTree::Device noSerial = Ours("1-2", "", "ttyUSB0");
  noSerial.usbSerialLayout = true;
  tree.Plug(noSerial);
  FakeUsbTree::Device foreign;
  foreign.bus = "1-3";
  foreign.vid = "0403";
  foreign.pid = "6001";
  foreign.serial = "FT1";
  foreign.tty = "ttyUSB1";
  foreign.usbSerialLayout = true;
  tree.Plug(foreign);
  tree.Plug(Ours("1-4", "NOTTY", ""));  // its driver has not made a tty

  auto view = Open();
  const auto ours = Instances(*view);
  ASSERT_EQ(ours.size(), 2u) << "the device without a tty is not there";
  // Keys enumerate in name order, as Windows enumerates them.
  EXPECT_EQ(view->SubkeyName(kOurs, 0), "1-2");
  EXPECT_EQ(view->SubkeyName(kOurs, 1), "A1B2C3");
  const auto theirs = Instances(*view, kEnum + "\\Vid_0403&Pid_6001");
  ASSERT_EQ(theirs.size(), 1u);
  EXPECT_EQ(view->SubkeyCount(kEnum), 2u);

  // Three different numbers, from 1 up, and SERIALCOMM leads each to its device's path: the
  // udev link where there is one, else the tty.
  const std::set<std::string> numbers = {ours.at("1-2"), ours.at("A1B2C3"), theirs.at("FT1")};
  EXPECT_EQ(numbers, (std::set<std::string>{"COM1", "COM2", "COM3"}));
  EXPECT_EQ(SerialComm(*view),
            (std::map<std::string, std::string>{
                {tree.Dev() + "/serial/by-id/" + withSerial.byId, ours.at("A1B2C3")},
                {tree.Dev() + "/ttyUSB0", ours.at("1-2")},
                {tree.Dev() + "/ttyUSB1", theirs.at("FT1")}}));
}

TEST_F(LiveUsbView, ASerialNumberThatCannotNameTheKeyGivesWayToTheBusPath) {
  tree.Plug(Ours("1-1", "0001", "ttyACM0"));
  tree.Plug(Ours("1-2", "0001", "ttyACM1"));  // the same number again: a cheap adapter
  tree.Plug(Ours("1-3", "AB 12", "ttyACM2"));
  tree.Plug(Ours("1-4", "C\\D", "ttyACM3"));
  tree.Plug(Ours("1-5", "1-6", "ttyACM4"));  // a serial number that spells another's bus path
  tree.Plug(Ours("1-6", "", "ttyACM5"));
  auto view = Open();
  const auto ours = Instances(*view);
  std::set<std::string> names, ports;
  for (const auto& [name, port] : ours) {
    names.insert(name);
    ports.insert(port);
  }
  EXPECT_EQ(names, (std::set<std::string>{"0001", "1-2", "1-3", "1-4", "1-6", "1-6,0"}));
  EXPECT_EQ(ports.size(), 6u);
  EXPECT_EQ(Instances(*view), ours) << "the same on the next walk";
}

TEST_F(LiveUsbView, EachWalkSeesWhatWasPluggedInOrPulledOutSinceTheLast) {
  auto view = Open();
  EXPECT_FALSE(view->SubkeyCount(kOurs).has_value()) << "no record of the display yet";
  EXPECT_FALSE(view->KeyExists(kSerialComm));

  tree.Plug(Ours("1-1", "A1", "ttyACM0"));
  EXPECT_EQ(Instances(*view).size(), 1u);
  tree.Plug(Ours("1-2", "B2", "ttyACM1"));
  ASSERT_EQ(view->SubkeyCount(kOurs), 2u);

  // Pulled out in the middle of a walk: the walk goes on over what it counted.
  tree.Unplug("1-1");
  EXPECT_EQ(view->SubkeyName(kOurs, 0), "A1");
  EXPECT_EQ(view->SubkeyName(kOurs, 1), "B2");
  // The next walk no longer has it, in either place.
  EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"B2", "COM2"}}));
  EXPECT_EQ(SerialComm(*view),
            (std::map<std::string, std::string>{{tree.Dev() + "/ttyACM1", "COM2"}}));

  // Plugged in during a walk that looks up ports and device paths as OpenService does (the path
  // on the port's own thread): the walk sees one set of devices throughout, the next the new one.
  {
    const RegistryWalk walk(*view);
    ASSERT_EQ(view->SubkeyCount(kOurs), 1u);
    tree.Plug(Ours("1-3", "A0", "ttyACM2"));
    EXPECT_EQ(view->GetValue(kOurs + "\\B2\\Device Parameters", "PortName")->AsString(), "COM2");
    std::thread([&] { EXPECT_EQ(view->ValueCount(kSerialComm), 1u); }).join();
    EXPECT_EQ(view->SubkeyName(kOurs, 0), "B2");
  }
  EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"A0", "COM3"}, {"B2", "COM2"}}));
}

TEST_F(LiveUsbView, ADeviceKeepsItsNumberAcrossReplugsAndRestarts) {
  // The listener hears of a number when it is given, not when it is kept.
  std::vector<std::string> told;
  SetComNumberListener([&told](const ComNumberGiven& g) {
    told.push_back(g.deviceId + "=" + comnames::ComName(g.number));
  });
  {
    auto view = Open();
    tree.Plug(Ours("1-1", "A1", "ttyACM0"));
    EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"A1", "COM1"}}));
    tree.Unplug("1-1");
    // Another display meanwhile: the first one's number stays reserved for it.
    tree.Plug(Ours("1-2", "B2", "ttyACM0"));
    EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"B2", "COM2"}}));
    // Back, under a tty name that another device had or that was still held.
    tree.Plug(Ours("1-1", "A1", "ttyACM1"));
    EXPECT_EQ(Instances(*view),
              (std::map<std::string, std::string>{{"A1", "COM1"}, {"B2", "COM2"}}));
    EXPECT_EQ(SerialComm(*view),
              (std::map<std::string, std::string>{{tree.Dev() + "/ttyACM1", "COM1"},
                                                  {tree.Dev() + "/ttyACM0", "COM2"}}));
  }
  // The same after a restart, and another port for the first device changes nothing.
  tree.Retty("1-1", "ttyACM7");
  auto again = Open();
  EXPECT_EQ(Instances(*again),
            (std::map<std::string, std::string>{{"A1", "COM1"}, {"B2", "COM2"}}));
  EXPECT_EQ(SerialComm(*again)[tree.Dev() + "/ttyACM7"], "COM1");
  // The numbers are in the store, where an integrator can read and pin them.
  RegistryStore store(store_);
  const auto remembered =
      store.GetValue(kRememberedPortsKey, "USB\\Vid_" + kVid + "&Pid_" + kPid + "\\A1");
  ASSERT_TRUE(remembered.has_value());
  EXPECT_EQ(remembered->AsString(), "COM1");
  SetComNumberListener({});
  const std::string ids = "USB\\Vid_" + kVid + "&Pid_" + kPid + "\\";
  EXPECT_EQ(told, (std::vector<std::string>{ids + "A1=COM1", ids + "B2=COM2"}));
}

FakeUsbTree::Device Adapter(int n) {
  FakeUsbTree::Device d;
  d.bus = "3-" + std::to_string(n);
  d.vid = "0403";
  d.pid = "6001";
  d.serial = "FT" + std::to_string(100 + n);
  d.tty = "ttyUSB" + std::to_string(n);
  return d;
}

TEST_F(LiveUsbView, TheDisplayAlwaysGetsANumberThatOpenServiceAccepts) {
  // 31 other adapters at once: COM1 to COM30, and no number for the last.
  for (int n = 1; n <= 31; ++n) tree.Plug(Adapter(n));
  auto view = Open();
  const auto ports = view->Ports();
  ASSERT_EQ(ports.size(), 30u);
  EXPECT_EQ(ports.back().number, 30);
  // All pulled out, then the display: the number of the device absent longest (seen first).
  for (int n = 1; n <= 31; ++n) tree.Unplug(Adapter(n).bus);
  tree.Plug(Ours("1-1", "PD1", "ttyACM0"));
  EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"PD1", "COM1"}}));
}

TEST_F(LiveUsbView, AFullRangeGivesAgainTheNumberOfTheDeviceAbsentLongest) {
  // COM1 pinned by hand for a device never seen; adapters 1 to 29 seen one after another and
  // pulled out, all but the first.
  RegistryStore store(store_);
  ASSERT_TRUE(store.CreateKey(kRememberedPortsKey));
  ASSERT_TRUE(store.SetValue(kRememberedPortsKey,
                             RegValue::FromString("USB\\Vid_0403&Pid_6001\\PINNED", "COM1")));
  auto view = Open();
  for (int n = 1; n <= 29; ++n) {
    tree.Plug(Adapter(n));
    EXPECT_EQ(view->Ports().back().number, n + 1);
    if (n != 1) tree.Unplug(Adapter(n).bus);
  }
  // The display and a new adapter at once; the adapter comes first in the walk, the display is
  // served first: adapter 2's number, then adapter 3's.
  tree.Plug(Ours("1-1", "PD1", "ttyACM0"));
  tree.Plug(Adapter(30));
  EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"PD1", "COM3"}}));
  EXPECT_EQ(Instances(*view, kEnum + "\\Vid_0403&Pid_6001"),
            (std::map<std::string, std::string>{{"FT101", "COM2"}, {"FT130", "COM4"}}));
}

TEST_F(LiveUsbView, WhatTheStoreSaysWins) {
  const std::string handPath = dir_.path() + "/pole-display";
  {
    RegistryStore store(store_);
    // A virtual display's entries written by hand, and a number pinned for device A1.
    ASSERT_TRUE(
        store.Import("Windows Registry Editor Version 5.00\n"
                     "[" +
                         kOurs +
                         "\\6&2b4e1f0&0&1\\Device Parameters]\n"
                         "\"PortName\"=\"COM5\"\n"
                         "[" +
                         kSerialComm +
                         "]\n"
                         "\"" +
                         handPath +
                         "\"=\"COM1\"\n"
                         "[" +
                         std::string(kRememberedPortsKey) +
                         "]\n"
                         "\"USB\\\\Vid_" +
                         kVid + "&Pid_" + kPid + "\\\\A1\"=\"COM7\"\n",
                     "test"));
  }
  tree.Plug(Ours("1-1", "A1", "ttyACM0"));
  tree.Plug(Ours("1-2", "B2", "ttyACM1"));
  auto view = Open();
  // A1 has its pinned number; B2 the lowest that no entry holds.
  EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{
                                  {"6&2b4e1f0&0&1", "COM5"}, {"A1", "COM7"}, {"B2", "COM2"}}));
  EXPECT_EQ(SerialComm(*view),
            (std::map<std::string, std::string>{{handPath, "COM1"},
                                                {tree.Dev() + "/ttyACM0", "COM7"},
                                                {tree.Dev() + "/ttyACM1", "COM2"}}));
  // The store's entries come first in the walk, so a number given twice finds the store's.
  EXPECT_EQ(view->ValueAt(kSerialComm, 0)->name, handPath);

  // A mapping written by hand for B2's tty, here through another link to the same node, takes
  // the place of B2's own entry.
  const std::string alias = dir_.path() + "/display-b";
  std::filesystem::create_symlink(tree.Dev() + "/ttyACM1", alias);
  ASSERT_TRUE(view->SetValue(kSerialComm, RegValue::FromString(alias, "COM9")));
  EXPECT_EQ(Instances(*view)["B2"], "COM9");
  EXPECT_EQ(SerialComm(*view).count(tree.Dev() + "/ttyACM1"), 0u);
  EXPECT_EQ(SerialComm(*view)[alias], "COM9");

  // A USB record of A1's own in the store names its port.
  ASSERT_TRUE(view->CreateKey(kOurs + "\\A1\\Device Parameters"));
  ASSERT_TRUE(
      view->SetValue(kOurs + "\\A1\\Device Parameters", RegValue::FromString("PortName", "COM4")));
  EXPECT_EQ(Instances(*view)["A1"], "COM4");
  EXPECT_EQ(SerialComm(*view)[tree.Dev() + "/ttyACM0"], "COM4");
}

TEST_F(LiveUsbView, TheDevicesKeysCannotBeWrittenAndTheRestOfTheStoreIsAsBefore) {
  tree.Plug(Ours("1-1", "A1", "ttyACM0"));
  auto view = Open();
  const std::string params = kOurs + "\\A1\\Device Parameters";
  ASSERT_TRUE(view->KeyExists(params));
  EXPECT_FALSE(view->SetValue(params, RegValue::FromString("PortName", "COM3")));
  EXPECT_FALSE(view->DeleteTree(kOurs + "\\A1"));
  EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"A1", "COM1"}}));
  EXPECT_FALSE(RegistryStore(store_).KeyExists(params)) << "the view is not saved";

  const std::string device = "HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\Pole";
  ASSERT_TRUE(view->CreateKey(device));
  ASSERT_TRUE(view->SetValue(device, RegValue::FromString("Port", "COM1")));
  EXPECT_EQ(RegistryStore(store_).GetValue(device, "Port")->AsString(), "COM1");
  // A walk from the root sees the store's keys beside the view's.
  EXPECT_EQ(view->SubkeyCount("HKLM"), 3u);  // HARDWARE, SOFTWARE, SYSTEM
}

TEST_F(LiveUsbView, AStoreThatCannotTakeANumberLeavesItRememberedByTheProcess) {
  testsupport::WriteFile(store_, "not a registry file\n");
  tree.Plug(Ours("1-1", "A1", "ttyACM0"));
  auto view = Open();
  EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"A1", "COM1"}}));
  // The display pulled out and another device in its place: not the display's number.
  tree.Unplug("1-1");
  tree.Plug(Ours("1-2", "B2", "ttyACM0"));
  EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"B2", "COM2"}}));
  EXPECT_EQ(testsupport::ReadFile(store_), "not a registry file\n") << "never written";

  // A store whose lock another process holds: the walk does not wait for it, and the numbers
  // go to the store once it can take them.
  testsupport::WriteFile(store_, "Windows Registry Editor Version 5.00\n\n");
  const int holder = open((store_ + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  tree.Plug(Ours("1-1", "A1", "ttyACM1"));
  EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"A1", "COM1"}, {"B2", "COM2"}}));
  EXPECT_FALSE(RegistryStore(store_).KeyExists(kRememberedPortsKey));
  close(holder);
  EXPECT_EQ(Instances(*view), (std::map<std::string, std::string>{{"A1", "COM1"}, {"B2", "COM2"}}));
  EXPECT_EQ(RegistryStore(store_).ValueCount(kRememberedPortsKey), 2u);
}

}  // namespace
}  // namespace kirnow::platform
