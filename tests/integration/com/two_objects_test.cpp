// Two service objects on two threads, as two single-threaded apartments of one application
// would hold them: they share the library's module state, and their calls (session, text,
// windows, marquee and blink flips) must not corrupt it or fail for each other. Run under the
// sanitizer builds, a race or a heap fault fails the run. And a host that lets the library go
// before it releases its object.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "opos/opos_constants.h"
#include "platform/com/com_types.h"
#include "serviceobject/com/guids.h"
#include "serviceobject/com/iposl_display_methods.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

enum : DISPID {
#define KIRNOW_DISPID_ENUM(id, name, signature, call) k##name = id,
  KIRNOW_IPOSLDISPLAY_METHODS(KIRNOW_DISPID_ENUM)
#undef KIRNOW_DISPID_ENUM
};

LONG Call(IDispatch* object, DISPID id, std::vector<VARIANT> args) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  com::Variant result;
  const HRESULT hr =
      object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr);
  if (FAILED(hr)) return -1;
  return result->vt == VT_I4 ? result->lVal : 0;
}

VARIANT L(LONG v) { return com::LongArg(v); }

// One apartment's work: a session, then text, windows and marquee and blink flips.
void Apartment(LPFNGETCLASSOBJECT getClassObject, int which, int rounds,
               std::atomic<int>& openFailures, std::atomic<int>& callFailures) {
  const CLSID clsid = KIRNOW_CLSID_POSLDISPLAY_INIT;
  com::Ref<IClassFactory> factory;
  if (FAILED(getClassObject(clsid, IID_IClassFactory, factory.receiveVoid()))) {
    ++openFailures;
    return;
  }
  com::Ref<IDispatch> object;
  if (FAILED(factory->CreateInstance(nullptr, IID_IDispatch, object.receiveVoid()))) {
    ++openFailures;
    return;
  }
  com::Bstr deviceClass(u"LineDisplay"), deviceName(u"JQ POS POLE DISPLAY");
  VARIANT none;
  VariantInit(&none);
  none.vt = VT_DISPATCH;
  if (Call(object.get(), kOpenService,
           {com::BstrArg(deviceClass.get()), com::BstrArg(deviceName.get()), none}) != 0) {
    ++openFailures;
  }
  Call(object.get(), kClaimDevice, {L(1000)});
  Call(object.get(), kSetPropertyNumber, {L(PIDX_DeviceEnabled), L(1)});
  const com::Bstr text(which == 0 ? u"first apartment text" : u"second apartment, other");
  for (int i = 0; i < rounds; ++i) {
    if (Call(object.get(), kCreateWindow, {L(which), L(0), L(1), L(20), L(1), L(40)}) < 0) {
      ++callFailures;
    }
    Call(object.get(), kSetPropertyNumber, {L(PIDXDisp_MarqueeUnitWait), L(10 * (i % 3))});
    Call(object.get(), kDisplayText, {com::BstrArg(text.get()), L(i % 2 ? DISP_DT_BLINK : 0)});
    Call(object.get(), kSetPropertyNumber,
         {L(PIDXDisp_MarqueeType), L(i % 3 == 0 ? DISP_MT_LEFT : DISP_MT_NONE)});
    Call(object.get(), kDisplayTextAt, {L(0), L(i % 20), com::BstrArg(text.get()), L(0)});
    Call(object.get(), kGetPropertyNumber, {L(PIDXDisp_Columns)});
    Call(object.get(), kSetPropertyNumber, {L(PIDXDisp_MarqueeType), L(DISP_MT_INIT)});
    Call(object.get(), kDestroyWindow, {});
    if (i % 10 == 9) Call(object.get(), kClearText, {});
  }
  Call(object.get(), kCloseService, {});
}

TEST(TwoObjects, OnTwoThreadsShareTheModuleStateSafely) {
  it::VirtualDisplay display;
  ASSERT_TRUE(display.Start());
  it::TestRegistryFile store;
  store.AddDisplay("JQ POS POLE DISPLAY", 7, display.LinkPath());
  void* library = dlopen(KIRNOW_SO_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(library, "DllGetClassObject"));
  auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(library, "DllCanUnloadNow"));
  ASSERT_NE(getClassObject, nullptr);

  std::atomic<int> openFailures{0}, callFailures{0};
  std::thread a(Apartment, getClassObject, 0, 40, std::ref(openFailures), std::ref(callFailures));
  std::thread b(Apartment, getClassObject, 1, 40, std::ref(openFailures), std::ref(callFailures));
  a.join();
  b.join();
  EXPECT_EQ(openFailures, 0) << "OpenService failed for one object while the other ran";
  EXPECT_EQ(callFailures, 0);
  EXPECT_EQ(canUnload(), S_OK) << "both objects gone, every worker stopped";
  dlclose(library);
}

// A host that lets the library go (dlclose, as CoUninitialize frees it on Windows) before it
// releases its object: with no call made, after a session with no display plugged in, and with a
// session open and claimed, idle or walking a marquee (with the field trace on too: it has
// written the session up to the port's close): the late Release returns and the host exits
// cleanly. Each host is a child process, in a suite that has not loaded the library.
TEST(HostUnloadsFirst, ALateReleaseReturnsWithTheSessionIdleOrWalking) {
  it::VirtualDisplay display;
  ASSERT_TRUE(display.Start());
  it::TestRegistryFile store;
  store.AddDisplay("JQ POS POLE DISPLAY", 7, display.LinkPath());
  char traces[] = "/tmp/kirnow-unload-trace-XXXXXX";
  ASSERT_NE(mkdtemp(traces), nullptr);
  struct Host {
    const char* what;
    bool session, plugged;
    LONG marquee;
    bool traced = false;
  };
  for (const Host h :
       {Host{"no call", false, false, DISP_MT_NONE}, Host{"no display", true, false, DISP_MT_NONE},
        Host{"idle", true, true, DISP_MT_NONE}, Host{"walking", true, true, DISP_MT_LEFT},
        Host{"walking, traced", true, true, DISP_MT_LEFT, true}}) {
    store.AddComPort(display.LinkPath(), h.plugged ? "COM7" : "COM8");  // COM7: the display
    const std::string entry =
        "HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS POLE DISPLAY";
    store.SetString(entry, "Trace", h.traced ? "1" : "0");
    store.SetString(entry, "TraceFolder", traces);
    store.Write();
    std::fflush(nullptr);  // the child's exit flushes only what it wrote itself
    const pid_t host = fork();
    if (host == 0) {
      void* library = dlopen(KIRNOW_SO_PATH, RTLD_NOW | RTLD_LOCAL);
      com::Ref<IClassFactory> factory;
      IDispatch* object = nullptr;
      reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(library, "DllGetClassObject"))(
          KIRNOW_CLSID_POSLDISPLAY_INIT, IID_IClassFactory, factory.receiveVoid());
      factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
      factory.reset();
      com::Bstr name(u"JQ POS POLE DISPLAY"), text(u"walking");
      VARIANT none{};
      none.vt = VT_DISPATCH;
      if (h.session) {
        Call(object, kOpenService, {com::BstrArg(name.get()), com::BstrArg(name.get()), none});
        Call(object, kClaimDevice, {L(1000)});
        Call(object, kDisplayTextAt, {L(0), L(0), com::BstrArg(text.get()), L(0)});
        Call(object, kSetPropertyNumber, {L(PIDXDisp_MarqueeType), L(h.marquee)});
      }
      if (h.plugged) usleep(600000);  // the port's keeper has looked at the port
      if (h.session && !h.plugged) Call(object, kCloseService, {});
      dlclose(library);
      object->Release();
      exit(0);  // the library's exit handlers run too
    }
    int status = -1;
    waitpid(host, &status, 0);
    EXPECT_EQ(status, 0) << h.what << ": " << (WIFSIGNALED(status) ? "signal " : "exit ")
                         << (WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
    if (!h.traced) continue;
    std::string trace;
    for (const auto& file : std::filesystem::directory_iterator(traces)) {
      std::ifstream in(file.path());
      trace.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    for (const char* expected :
         {" set MarqueeType (5014) = 3 ", " wire COM7: sent 1F 24 01 01 ", " port COM7 closed\n"}) {
      EXPECT_NE(trace.find(expected), std::string::npos) << expected;
    }
  }
  std::filesystem::remove_all(traces);
}

}  // namespace
}  // namespace kirnow
