// A session that outlives an unplug of the display: two lines are shown, then the client waits
// while the Wine driver unplugs the virtual display (it plugs itself in again 500 ms later),
// sends one more line of output, which returns at once whether the port is still dead or
// already back (unless "idle" is given: then nothing is sent), and waits again while the port
// reopens by itself and repaints. The driver checks the display's screen meanwhile.
//
//   reconnect <milliseconds before the output> <milliseconds to stay after it> [idle]
#include <cstdlib>
#include <cstring>

#include "tests/wine/wine_client.h"

using namespace kirnow::winetest;

int main(int argc, char** argv) {
  const bool idle = argc == 4 && std::strcmp(argv[3], "idle") == 0;
  if (argc != 3 && !idle) {
    std::printf("usage: reconnect <wait before> <wait after> [idle]\n");
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
  CallLong(so, L"DisplayTextAt", {I4(0), I4(0), Str(L"first line"), I4(0)});
  CallLong(so, L"DisplayTextAt", {I4(1), I4(3), Str(L"second line"), I4(0)});
  std::printf("SHOWN\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::atoi(argv[1])));
  if (!idle) {
    const DWORD before = GetTickCount();
    CallLong(so, L"DisplayTextAt", {I4(1), I4(3), Str(L"second line"), I4(0)});
    Check(GetTickCount() - before < 1500, "reconnect: output to an unplugged display returns");
  }
  Sleep(static_cast<DWORD>(std::atoi(argv[2])));
  CallLong(so, L"CloseService", {});
  so->Release();
  CoUninitialize();
  std::printf("%s reconnect: %d failure(s)\n", g_failures ? "FAIL" : "PASS", g_failures);
  return g_failures ? 1 : 0;
}
