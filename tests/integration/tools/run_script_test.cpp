// scripts/run.sh --script against the programs of this build: with a display of our ids in a
// fake sysfs it finds the plugged-in display, says which device it is and runs the script on it
// (its own virtual-display entries left out of the store); with none it falls back to the
// virtual pole display, and says on stderr that no display is plugged in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "polecheck_harness.h"
#include "tests/support/fake_usb_tree.h"
#include "tests/support/file_text.h"

namespace kirnow::it {
namespace {

class RunScript : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = MissingPieces();
    if (!missing.empty()) GTEST_SKIP() << missing;
    const char* source = std::getenv("KIRNOW_SOURCE_DIR");
    if (source == nullptr) GTEST_SKIP() << "KIRNOW_SOURCE_DIR is not set";
    runScript_ = std::string(source) + "/scripts/run.sh";
    ASSERT_FALSE(home_.path().empty());
    script_ = home_.path() + "/actions.txt";
    std::ofstream(script_) << "DisplayText Found it\nExit\n";
  }

  ProgramResult Run() {
    const std::string bin = BuiltFile("polecheck").substr(0, BuiltFile("polecheck").rfind('/'));
    return RunProgram(
        {"/bin/bash", runScript_, "--script", script_},
        {"KIRNOW_RUN_BIN_DIR=" + bin, "HOME=" + home_.path(), "KIRNOW_REGISTRY=" + Store(),
         "KIRNOW_SYSFS_ROOT=" + usb_.Sys(), "KIRNOW_DEV_ROOT=" + usb_.Dev()},
        60000);
  }

  std::string Store() const { return home_.path() + "/registry.reg"; }

  testsupport::ScratchDir home_{"kirnow-run-home"};
  testsupport::FakeUsbTree usb_;
  std::string runScript_, script_;
};

TEST_F(RunScript, RunsTheScriptOnThePluggedInDisplay) {
  VirtualDisplay display;  // the "real" display: its pty is the tty of the fake USB device
  ASSERT_TRUE(display.Start());
  auto pole = testsupport::FakeUsbTree::PoleDisplay("1-4", "PD0042", "ttyACM0");
  pole.node = display.SlavePath();
  pole.byId = "usb-Pole_Display_PD0042-if00";
  usb_.Plug(pole);

  const ProgramResult r = Run();
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const std::string path = usb_.Dev() + "/serial/by-id/" + pole.byId;
  EXPECT_NE(r.out.find("run: found the plugged-in display " + path + " (COM1, USB Vid_" + pole.vid +
                       "&Pid_" + pole.pid + "\\PD0042)"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("virtual pole display"), std::string::npos) << r.out;
  EXPECT_EQ(r.err.find("no display"), std::string::npos) << r.err;
  // The display logs what it reads a little after the program wrote it.
  std::vector<uint8_t> wire;
  display.WaitForSnapshot(
      [&](const Snapshot&) {
        wire = display.ReceivedBytes();
        return Contains(wire, Bytes("Found it"));
      },
      3000);
  EXPECT_TRUE(Contains(wire, Bytes("JQ POS POLE DISPLAY Open Success")));
  EXPECT_TRUE(Contains(wire, Bytes("Found it")));
  // The store has the device entry and the remembered number, and no record of a virtual
  // display that would be tried first.
  const std::string store = testsupport::ReadFile(Store());
  EXPECT_NE(store.find("\"Port\"=\"COM1\""), std::string::npos) << store;
  EXPECT_EQ(store.find("6&2b4e1f0&0&1"), std::string::npos) << store;
  EXPECT_EQ(store.find("pole-display"), std::string::npos) << store;
}

TEST_F(RunScript, WithoutADisplayTheVirtualOneRuns) {
  const ProgramResult r = Run();
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("found the plugged-in display"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("run: no display with USB id " +
                       testsupport::FakeUsbTree::Lower(KIRNOW_USB_VID ":" KIRNOW_USB_PID) +
                       " is plugged in; `regstore usb` lists the serial devices\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("run: virtual pole display on " + home_.path() + "/.kirnow/pole-display"),
            std::string::npos)
      << r.out;
  std::vector<uint8_t> wire;
  for (const auto& [ms, byte] :
       ParseByteLog(testsupport::ReadFile(home_.path() + "/.kirnow/pole-display.log"))) {
    wire.push_back(byte);
  }
  EXPECT_TRUE(Contains(wire, Bytes("Found it")));
}

}  // namespace
}  // namespace kirnow::it
