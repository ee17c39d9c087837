// A host that lets the library go (dlclose) before it releases its object while the field trace
// writes a walking marquee's frames: the late Release returns, the writer has written what the
// session did up to the port's close, and the host exits cleanly. The host is a child process,
// in a suite that has not loaded the library.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "opos/opos_constants.h"
#include "platform/com/com_types.h"
#include "serviceobject/com/guids.h"
#include "serviceobject/com/iposl_display.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

namespace fs = std::filesystem;

TEST(HostUnloadsFirst, ALateReleaseEndsTheTraceWithTheSession) {
  it::VirtualDisplay display;
  ASSERT_TRUE(display.Start());
  it::TestRegistryFile store;
  store.AddDisplay("JQ POS POLE DISPLAY", 7, display.LinkPath());
  char pattern[] = "/tmp/kirnow-unload-trace-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string entry =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS POLE DISPLAY";
  store.SetString(entry, "Trace", "1");
  store.SetString(entry, "TraceFolder", pattern);
  store.Write();
  std::fflush(nullptr);
  const pid_t host = fork();
  if (host == 0) {
    void* library = dlopen(KIRNOW_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    com::Ref<IClassFactory> factory;
    IPOSLDisplay* so = nullptr;
    reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(library, "DllGetClassObject"))(
        KIRNOW_CLSID_POSLDISPLAY_INIT, IID_IClassFactory, factory.receiveVoid());
    factory->CreateInstance(nullptr, IID_IPOSLDisplay, reinterpret_cast<void**>(&so));
    factory.reset();
    com::Bstr name(u"JQ POS POLE DISPLAY"), text(u"walking");
    LONG rc = 0;
    so->OpenService(name.get(), name.get(), nullptr, &rc);
    so->ClaimDevice(1000, &rc);
    so->DisplayTextAt(0, 0, text.get(), DISP_DT_NORMAL, &rc);
    so->SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_LEFT);
    usleep(600000);
    dlclose(library);
    so->Release();
    exit(0);  // the library's exit handlers run too
  }
  int status = -1;
  waitpid(host, &status, 0);
  EXPECT_EQ(status, 0) << (WIFSIGNALED(status) ? "signal " : "exit ")
                       << (WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
  std::string text;
  for (const auto& file : fs::directory_iterator(pattern)) {
    std::ifstream in(file.path());
    std::ostringstream all;
    all << in.rdbuf();
    text += all.str();
  }
  EXPECT_NE(text.find(" set MarqueeType (5014) = 3 "), std::string::npos) << text;
  EXPECT_NE(text.find(" wire COM7: sent 1F 24 01 01 "), std::string::npos);
  EXPECT_NE(text.find(" port COM7 closed\n"), std::string::npos);
  fs::remove_all(pattern);
}

}  // namespace
}  // namespace kirnow
