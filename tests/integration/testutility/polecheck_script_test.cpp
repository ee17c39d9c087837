// polecheck --script end to end: the dialog's actions go through our control object and the
// registered library to the virtual pole display, and the bytes it received are checked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "polecheck_harness.h"

namespace kirnow::it {
namespace {

std::string WriteScript(const VirtualDisplay& display, const std::string& text) {
  const std::string path = display.Directory() + "/actions.txt";
  std::ofstream(path) << text;
  return path;
}

class PolecheckScript : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = MissingPieces();
    if (!missing.empty()) GTEST_SKIP() << missing;
    ASSERT_TRUE(display.Start());
    const std::string problem = PrepareStore(store, display);
    ASSERT_TRUE(problem.empty()) << problem;
  }

  ProgramResult Run(const std::string& script) {
    return RunProgram({BuiltFile("polecheck"), "--script", WriteScript(display, script)},
                      {"KIRNOW_REGISTRY=" + store.Path()}, 60000);
  }

  VirtualDisplay display;
  TestRegistryFile store;
};

TEST_F(PolecheckScript, ActionsReachTheDisplayAsItsBytes) {
  const ProgramResult r =
      Run("DisplayText Hello\n"
          "Euro\n"
          "DisplayText\n"
          "DisplayTextAt 2 3 Hi\n"
          "Exit\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "") << "no message box on a good run";
  const std::vector<uint8_t> wire = display.ReceivedBytes();
  // Start-up opened the display: identification and greeting.
  EXPECT_TRUE(Contains(wire, {0x1D, 0x49, 0x02}));
  EXPECT_TRUE(Contains(wire, Bytes("JQ POS POLE DISPLAY Open Success")));
  // The typed text, then the same with the euro sign in the display's code page.
  EXPECT_TRUE(Contains(wire, Bytes("Hello")));
  EXPECT_TRUE(Contains(wire, Bytes("Hello\x80")));
  // Row 2, column 3 as typed: the cursor move, then the text.
  EXPECT_TRUE(Contains(wire, {0x1F, 0x24, 0x03, 0x02, 'H', 'i'}));
  // Exit clears the display last. The display writes its snapshot after it has decoded the
  // bytes it logged, so a busy machine may show the state a moment late.
  const std::string blank(20, ' ');
  EXPECT_TRUE(display.WaitForSnapshot(
      [&](const Snapshot& s) { return s.line1 == blank && s.line2 == blank; }, 5000));
  const Snapshot s = display.ReadSnapshot();
  EXPECT_EQ(s.line1, blank);
  EXPECT_EQ(s.line2, blank);
}

TEST_F(PolecheckScript, ScrollingLineShowsOnTheDisplayUntilExit) {
  const ProgramResult r = Run("ScrollLine1\nWait 3000\nExit\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const std::vector<uint8_t> wire = display.ReceivedBytes();
  // The marquee's frames: a cursor move to line 1, then twenty characters of the text moving in
  // from the right. Every frame is a window on the blanks, the text and the blanks again.
  const std::string marquee =
      std::string(20, ' ') + "Scrolling Text Line 1 " + std::string(20, ' ');
  const std::vector<uint8_t> frame = {0x1F, 0x24, 0x01, 0x01};
  size_t frames = 0;
  bool textSeen = false;
  for (auto it = wire.begin();
       (it = std::search(it, wire.end(), frame.begin(), frame.end())) != wire.end(); ++it) {
    if (wire.end() - it < 24) break;
    const std::string shown(it + 4, it + 24);
    if (shown.find('\x1F') != std::string::npos || shown.find('\x1B') != std::string::npos) {
      continue;  // the cursor move that precedes the text of DisplayTextAt
    }
    ++frames;
    EXPECT_NE(marquee.find(shown), std::string::npos) << "frame '" << shown << "'";
    textSeen = textSeen || shown.find('S') != std::string::npos;
  }
  EXPECT_GE(frames, 4u);
  EXPECT_TRUE(textSeen);
}

TEST(PolecheckScriptFailures, UnregisteredDeviceFailsStartupWithItsMessage) {
  const std::string missing = MissingPieces();
  if (!missing.empty()) GTEST_SKIP() << missing;
  TestRegistryFile empty;
  empty.AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE");
  const std::string script = "/tmp/polecheck-empty-" + std::to_string(getpid()) + ".txt";
  std::ofstream(script) << "DisplayText never\n";
  const ProgramResult r = RunProgram({BuiltFile("polecheck"), "--script", script},
                                     {"KIRNOW_REGISTRY=" + empty.Path()}, 30000);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("JQ Pole Display - OPEN error: This device has not been registered, or "
                       "cannot use.\n"),
            std::string::npos)
      << r.out;
}

TEST(PolecheckScriptFailures, ServiceObjectMessagesArePrintedInOrderWithTheDialogs) {
  const std::string missing = MissingPieces();
  if (!missing.empty()) GTEST_SKIP() << missing;
  // The device entry without any USB record: the open finds no port, the claim cannot open it.
  TestRegistryFile store;
  store.AddOposDevice("JQ POS POLE DISPLAY");
  const ProgramResult reg = RunProgram({BuiltFile("regsvr"), BuiltFile("Kirnow.so")},
                                       {"KIRNOW_REGISTRY=" + store.Path()}, 20000);
  ASSERT_EQ(reg.status, 0) << reg.out << reg.err;
  const std::string script = "/tmp/polecheck-noport-" + std::to_string(getpid()) + ".txt";
  std::ofstream(script) << "DisplayText never\n";
  const ProgramResult r = RunProgram({BuiltFile("polecheck"), "--script", script},
                                     {"KIRNOW_REGISTRY=" + store.Path()}, 30000);
  std::remove(script.c_str());
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const size_t so = r.out.find("ClaimDevice: Open Port Error\n");
  const size_t dialog =
      r.out.find("JQ Pole Display - CLAIM error: Fails to get the exclusive right for the device.");
  ASSERT_NE(so, std::string::npos) << r.out;
  ASSERT_NE(dialog, std::string::npos) << r.out;
  EXPECT_LT(so, dialog) << r.out;
  EXPECT_EQ(r.err.find("Open Port Error"), std::string::npos) << "not on stderr: " << r.err;
  // Beside them, on stderr, why: there is no device of the build's ids (no sysfs at all here).
  EXPECT_NE(r.err.find("Polecheck: no display with USB id "), std::string::npos) << r.err;
}

TEST(PolecheckScriptFailures, LineNotUnderstoodIsNamed) {
  if (BuiltFile("polecheck").empty()) GTEST_SKIP() << "polecheck not built yet";
  const std::string script = "/tmp/polecheck-bad-" + std::to_string(getpid()) + ".txt";
  std::ofstream(script) << "Blink\nBlinc\n";
  const ProgramResult r = RunProgram({BuiltFile("polecheck"), "--script", script}, {}, 30000);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("line 2 not understood: Blinc"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace kirnow::it
