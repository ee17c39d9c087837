// A session that outlives an unplug of the display: two lines are shown, then the client waits
// while the Wine driver unplugs the virtual display (it plugs itself in again 500 ms later),
// sends one more line of output, which returns at once whether the port is still dead or
// already back, and waits again while the port reopens by itself and repaints. The driver
// checks the display's screen meanwhile. With a mode nothing is sent after the unplug: "idle"
// shows the two lines, "blink" blinks line 1, "marquee" walks "first line" on line 1 in a
// window of its own. The client keeps its session until the driver has seen what it looks for
// (it creates "reconnect.done" in the client's folder), or for at most the given time: a fixed
// stay would end the session early on a busy machine, where Wine takes longer to come back.
//
//   reconnect <ms before the output> <most ms to stay after it> [idle|blink|marquee]
#include <cstdlib>
#include <cstring>
#include <string>

#include "opos/opos_constants.h"
#include "tests/wine/wine_client.h"

using namespace kirnow::winetest;

int main(int argc, char** argv) {
  const std::string mode = argc == 4 ? argv[3] : "output";
  if ((argc != 3 && argc != 4) ||
      (mode != "output" && mode != "idle" && mode != "blink" && mode != "marquee")) {
    std::printf("usage: reconnect <wait before> <wait after> [idle|blink|marquee]\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  IDispatch* so = nullptr;
  CoCreateInstance(CLSID_POSLDisplay, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                   reinterpret_cast<void**>(&so));
  Check(so != nullptr, "reconnect: CoCreateInstance");
  if (!so) return 1;
  Check(CallLong(so, L"OpenService",
                 {Str(L"LineDisplay"), Str(L"JQ POS POLE DISPLAY"), NullDispatch()}) == 0,
        "reconnect: OpenService");
  CallLong(so, L"ClaimDevice", {I4(1000)});
  CallLong(so, L"ClearText", {});
  CallLong(so, L"DisplayTextAt", {I4(1), I4(3), Str(L"second line"), I4(0)});
  if (mode == "marquee") {
    using namespace kirnow;
    CallLong(so, L"CreateWindow", {I4(0), I4(0), I4(1), I4(20), I4(1), I4(20)});
    CallLong(so, L"SetPropertyNumber", {I4(PIDXDisp_MarqueeUnitWait), I4(100)});
    CallLong(so, L"SetPropertyNumber", {I4(PIDXDisp_MarqueeType), I4(DISP_MT_INIT)});
    CallLong(so, L"DisplayTextAt", {I4(0), I4(0), Str(L"first line"), I4(0)});
    CallLong(so, L"SetPropertyNumber", {I4(PIDXDisp_MarqueeType), I4(DISP_MT_LEFT)});
  } else {
    const int attribute = mode == "blink" ? kirnow::DISP_DT_BLINK : kirnow::DISP_DT_NORMAL;
    CallLong(so, L"DisplayTextAt", {I4(0), I4(0), Str(L"first line"), I4(attribute)});
  }
  std::printf("SHOWN\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::atoi(argv[1])));
  if (mode == "output") {
    const DWORD before = GetTickCount();
    CallLong(so, L"DisplayTextAt", {I4(1), I4(3), Str(L"second line"), I4(0)});
    Check(GetTickCount() - before < 1500, "reconnect: output to an unplugged display returns");
  }
  const DWORD stay = static_cast<DWORD>(std::atoi(argv[2]));
  for (const DWORD start = GetTickCount();
       GetTickCount() - start < stay &&
       GetFileAttributesW(L"reconnect.done") == INVALID_FILE_ATTRIBUTES;) {
    Sleep(50);
  }
  CallLong(so, L"CloseService", {});
  so->Release();
  CoUninitialize();
  std::printf("%s reconnect: %d failure(s)\n", g_failures ? "FAIL" : "PASS", g_failures);
  return g_failures ? 1 : 0;
}
