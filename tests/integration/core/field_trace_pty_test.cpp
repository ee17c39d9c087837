// The field trace over a real pseudo-terminal, through the COM object's frame, the system's
// registry store, tty, clock, files and host: switched on in the store, a session with a marquee
// at unit wait 0 and an unplug leaves a file that holds the method lines, the wire's hex and the
// port's death and return, within its cap; switched off, no file at all.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "opos/opos_constants.h"
#include "serviceobject/com/posl_display_object.h"
#include "system_platform.h"
#include "tests/fakes/fake_com_module.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

namespace fs = std::filesystem;

const std::string kEntry =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS POLE DISPLAY";

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// One session through the COM object, released at its end as a control object releases it.
void Session(ModuleState& module, it::VirtualDisplay& display, bool unplug) {
  fakes::FakeComModule com(module);
  IPOSLDisplay* so = nullptr;
  ASSERT_EQ(server::PoslDisplayObject::Create(com, nullptr, IID_IPOSLDisplay,
                                              reinterpret_cast<void**>(&so)),
            S_OK);
  const com::Bstr deviceClass(u"LineDisplay"), name(u"JQ POS POLE DISPLAY"),
      text(u"Scrolling Text Line 2 ");
  LONG rc = 0;
  so->OpenService(deviceClass.get(), name.get(), nullptr, &rc);
  so->ClaimDevice(1000, &rc);
  so->CreateWindow(1, 0, 1, 20, 1, 20, &rc);
  so->SetPropertyNumber(PIDXDisp_MarqueeUnitWait, 0);  // frames as fast as the line takes them
  so->SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_INIT);
  so->DisplayTextAt(0, 0, text.get(), DISP_DT_NORMAL, &rc);
  so->SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_LEFT);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  if (unplug) {
    display.Unplug();  // back 500 ms later, on a fresh pty
    EXPECT_TRUE(display.WaitForSnapshot(
        [](const it::Snapshot& s) { return s.plugged && s.generation == 2; }, 4000));
    EXPECT_TRUE(display.WaitForSnapshot(
        [](const it::Snapshot& s) { return s.line2.find("Scrol") != std::string::npos; }, 4000));
  }
  so->SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_INIT);
  so->CloseService(&rc);
  so->Release();
}

TEST(FieldTraceOverPty, TheFileShowsTheCallsTheWireAndTheUnplugAndStaysWithinItsCap) {
  it::VirtualDisplayOptions paced;
  paced.baud = 9600;
  it::VirtualDisplay display;
  ASSERT_TRUE(display.Start(paced));
  it::TestRegistryFile store;
  store.AddDisplay("JQ POS POLE DISPLAY", 5, display.LinkPath());
  char pattern[] = "/tmp/kirnow-field-trace-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path on = fs::path(pattern) / "on", off = fs::path(pattern) / "off";
  store.SetString(kEntry, "Trace", "1");
  store.SetString(kEntry, "TraceFolder", on.string());
  store.Write();
  // The files of the folder: their text, and the bytes they take together.
  auto files = [&on](uint64_t& size) {
    std::string text;
    size = 0;
    for (const auto& entry : fs::directory_iterator(on)) {
      text += ReadAll(entry.path());
      size += entry.file_size();
      EXPECT_EQ(entry.status().permissions() & fs::perms::all,
                fs::perms::owner_read | fs::perms::owner_write);
    }
    return text;
  };

  it::SystemPlatform sys;
  ModuleState module(sys.Get(), false);
  Session(module, display, true);
  EXPECT_FALSE(module.fieldTrace.WriterAlive());
  uint64_t size = 0;
  const std::string text = files(size);
  for (const char* expected :
       {" call OpenService(DeviceClass=\"LineDisplay\", DeviceName=\"JQ POS POLE DISPLAY\", "
        "pDispatch=null) -> pRC 0, ResultCode 0, ",
        " set MarqueeType (5014) = 3 -> ResultCode 0, ", " wire COM5: sent 1F 24 01 02 20 20 ",
        " port COM5 gone: error 5 (", " port COM5 reopened (", " port COM5 repainted (",
        " call CloseService() -> pRC 0, ResultCode 0, "}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(text.find(" records dropped"), std::string::npos);

  // A marquee as fast as the line takes it with "TraceMaxKB"="64": the two files keep within.
  store.SetString(kEntry, "TraceMaxKB", "64");
  store.Write();
  Session(module, display, false);
  files(size);
  EXPECT_LE(size, 64u * 1024);

  // Switched off at the next OpenService: no file, not even a folder.
  store.SetString(kEntry, "Trace", "0");
  store.SetString(kEntry, "TraceFolder", off.string());
  store.Write();
  Session(module, display, false);
  EXPECT_FALSE(fs::exists(off));
  fs::remove_all(pattern);
}

}  // namespace
}  // namespace kirnow
