// The trace log: nothing at all with the switch off; with it on, OpenService starts a fresh
// file after its message box, other records append in their exact form, records written from
// two threads at once stay whole, and an unwritable current directory sends the log to the
// temporary directory.
#include "serviceobject/core/trace_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kirnow_config.h"
#include "platform/registry/com_names.h"
#include "serviceobject/core/posl_display.h"
#include "tests/fakes/fake_platform.h"

namespace kirnow {
namespace {

namespace fs = std::filesystem;
using Box = std::pair<std::string, std::string>;

// A tick counter that reads whatever the test sets.
class FixedClock : public platform::Clock {
 public:
  uint32_t Ticks() override { return now.load(); }
  void Sleep(uint32_t) override {}
  platform::Thread StartThread(std::function<void()> body) override {
    return std::thread(std::move(body));
  }
  uint64_t Micros() override { return uint64_t{now.load()} * 1000u; }
  void SleepUntil(uint64_t) override {}
  std::atomic<uint32_t> now{0};
};

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Each test runs in a directory of its own, so debug.log lands there.
class TraceLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = fs::current_path();
    char pattern[] = "/tmp/kirnow-trace-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(saved_);
    fs::remove_all(dir_);
  }
  platform::Platform PlatformWithFixedClock() {
    return platform::Platform{fp.registry, fp.serial, fp.box, clock, *fp.ansi, fp.files, fp.host};
  }

  fs::path saved_;
  fs::path dir_;
  fakes::FakePlatform fp;
  FixedClock clock;
};

TEST_F(TraceLogTest, SwitchedOffWritesNothingAndShowsNothing) {
  ModuleState module(PlatformWithFixedClock(), false);
  POSLDisplay so(module);
  so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
  so.ClaimDevice(1000);
  so.ReleaseDevice();
  so.CloseService();
  module.trace.Record("\nFirstThread:\n");
  EXPECT_TRUE(fs::is_empty(dir_));
  // Only the claim's own message (there is no port); no debug box.
  EXPECT_EQ(fp.box.shown, (std::vector<Box>{{"Open Port Error", "ClaimDevice"}}));
}

TEST_F(TraceLogTest, SessionRecordsHaveTheirExactForm) {
  std::ofstream(dir_ / "debug.log") << "left over from an earlier run";
  ModuleState module(PlatformWithFixedClock(), true);
  POSLDisplay so(module);

  clock.now = 1234;
  so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
  EXPECT_EQ(fp.box.shown, (std::vector<Box>{{"JQ VFD SO Debug Mode!", "Debug"}}));
  // The search says which USB ids it looked for and which instances it saw.
  const std::string search = "\nTime:=1234\nUSB instances:Vid_" + text::LowerAscii(KIRNOW_USB_VID) +
                             "&Pid_" KIRNOW_USB_PID "=none\n";
  EXPECT_EQ(ReadFile(dir_ / "debug.log"),
            "Time:=1234\nOpenService DeviceName:JQ POS POLE DISPLAY\n" + search);

  clock.now = 5000;
  so.ClaimDevice(1000);
  clock.now = 5001;
  so.ReleaseDevice();
  clock.now = 0xFFFFFFFFu;  // the stamp is signed
  so.CloseService();
  EXPECT_EQ(ReadFile(dir_ / "debug.log"),
            "Time:=1234\nOpenService DeviceName:JQ POS POLE DISPLAY\n" + search +
                "\nTime:=5000\nClaimDevice:Timeout=1000\n"
                "\nTime:=5001\nReleaseDevice:\n"
                "\nTime:=-1\nCloseService:\n");

  // A second OpenService starts the file afresh.
  clock.now = 7;
  so.OpenService(u"", u"Pole", nullptr);
  fp.registry.SetString(platform::comnames::UsbInstancesKey(KIRNOW_USB_VID, KIRNOW_USB_PID) +
                            "\\A1\\Device Parameters",
                        "PortName", "COM3");
  const size_t boxes = fp.box.shown.size();
  so.OpenService(u"", u"Pole", nullptr);
  const std::string start = "Time:=7\nOpenService DeviceName:Pole\n\nTime:=7\nUSB instances:Vid_" +
                            text::LowerAscii(KIRNOW_USB_VID) + "&Pid_" KIRNOW_USB_PID "=A1\n";
  EXPECT_EQ(ReadFile(dir_ / "debug.log").substr(0, start.size()), start);
  EXPECT_EQ(fp.box.shown.at(boxes), (Box{"JQ VFD SO Debug Mode!", "Debug"}));
}

TEST_F(TraceLogTest, DumpFollowsTheRecordLine) {
  TraceLog log(clock, fp.box, true);
  clock.now = 10;
  log.RecordWithDump("\nDisplayTextAt:", "Row=0,Column=0,Attribute=0,Data=Hi",
                     "Scroll1_Enable=0\ntext1=\ntext2=\n");
  EXPECT_EQ(ReadFile(dir_ / "debug.log"),
            "\nTime:=10\nDisplayTextAt:Row=0,Column=0,Attribute=0,Data=Hi\n"
            "Scroll1_Enable=0\ntext1=\ntext2=\n");
  EXPECT_EQ(TraceFormat("PropIndex=%d,*pNumber=%d", 5003, -2), "PropIndex=5003,*pNumber=-2");
}

TEST_F(TraceLogTest, RecordsFromTwoThreadsStayWhole) {
  TraceLog log(clock, fp.box, true);
  // Records far larger than a stream buffer, so that an unguarded writer would interleave.
  const std::string a(70000, 'a');
  const std::string b(70000, 'b');
  constexpr int kEach = 20;
  auto writer = [&log](const std::string& args) {
    return [&log, &args] {
      for (int i = 0; i < kEach; ++i) log.Record("\nW:", args);
    };
  };
  std::thread ta(writer(a));
  std::thread tb(writer(b));
  ta.join();
  tb.join();

  const std::string text = ReadFile(dir_ / "debug.log");
  const std::string recordA = "\nTime:=0\nW:" + a + "\n";
  const std::string recordB = "\nTime:=0\nW:" + b + "\n";
  ASSERT_EQ(text.size(), kEach * (recordA.size() + recordB.size()));
  size_t pos = 0;
  int countA = 0;
  int countB = 0;
  while (pos < text.size()) {
    if (text.compare(pos, recordA.size(), recordA) == 0) {
      ++countA;
      pos += recordA.size();
    } else if (text.compare(pos, recordB.size(), recordB) == 0) {
      ++countB;
      pos += recordB.size();
    } else {
      FAIL() << "broken record at offset " << pos;
    }
  }
  EXPECT_EQ(countA, kEach);
  EXPECT_EQ(countB, kEach);
}

TEST_F(TraceLogTest, UnwritableCurrentDirectoryUsesTheTemporaryDirectory) {
  // "debug.log" being a directory makes it impossible to open here, even for root.
  fs::create_directory(dir_ / "debug.log");
  const fs::path temp = dir_ / "temp";
  fs::create_directory(temp);
  const char* oldTmp = std::getenv("TMPDIR");
  const std::string savedTmp = oldTmp ? oldTmp : "";
  setenv("TMPDIR", temp.c_str(), 1);

  TraceLog log(clock, fp.box, true);
  clock.now = 3;
  log.Record("\nClearText:\n");

  if (oldTmp) {
    setenv("TMPDIR", savedTmp.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  EXPECT_EQ(fs::path(log.path()), temp / "debug.log");
  EXPECT_EQ(ReadFile(temp / "debug.log"), "\nTime:=3\nClearText:\n");
}

TEST_F(TraceLogTest, WritableDirectoryIsProbedWithoutLeavingAFile) {
  TraceLog log(clock, fp.box, true);
  EXPECT_EQ(fs::path(log.path()), dir_ / "debug.log");
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(TraceLogTest, RecordsFollowTheCurrentDirectory) {
  TraceLog log(clock, fp.box, true);
  clock.now = 1;
  log.Record("\nClearText:\n");
  const fs::path other = dir_ / "other";
  fs::create_directory(other);
  fs::current_path(other);
  clock.now = 2;
  log.Record("\nDestroyWindow:\n");
  fs::current_path(dir_);
  EXPECT_EQ(ReadFile(dir_ / "debug.log"), "\nTime:=1\nClearText:\n");
  EXPECT_EQ(ReadFile(other / "debug.log"), "\nTime:=2\nDestroyWindow:\n");
  EXPECT_EQ(fs::path(log.path()), other / "debug.log");
}

}  // namespace
}  // namespace kirnow
