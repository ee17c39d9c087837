// The benchmark's Windows half: drives one marquee or blink through the real Kirnow.dll, late
// bound by name as the control object does, for a given time, and prints the process's CPU
// share. The frames' arrival times are read from the virtual display's byte log on the Linux
// side (tests/bench/wine-bench.sh); this program only runs the workers.
//
//   marquee_timing line1|line2|both|blink SECONDS
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/wine/wine_client.h"

using namespace kirnow::winetest;

namespace {

constexpr LONG kCurrentWindow = 5003;
constexpr LONG kMarqueeType = 5014;
constexpr LONG kMarqueeUnitWait = 5015;
constexpr LONG kMarqueeInit = 5;
constexpr LONG kMarqueeLeft = 3;
constexpr LONG kBlink = 1;  // DISP_DT_BLINK

void SetNumber(IDispatch* so, LONG index, LONG value) {
  Var none;
  CallByName(so, L"SetPropertyNumber", {I4(index), I4(value)}, &none.v);
}

void Prepare(IDispatch* so, LONG window, const wchar_t* text, LONG unitWait) {
  SetNumber(so, kCurrentWindow, window);
  SetNumber(so, kMarqueeUnitWait, unitWait);
  SetNumber(so, kMarqueeType, kMarqueeInit);
  CallLong(so, L"DisplayTextAt", {I4(0), I4(0), Str(text), I4(0)});
}

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return double((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: marquee_timing line1|line2|both|blink SECONDS\n");
    return 2;
  }
  const std::string mode = argv[1];
  const double seconds = std::atof(argv[2]);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  IDispatch* so = nullptr;
  if (FAILED(CoCreateInstance(CLSID_POSLDisplay, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&so)))) {
    std::printf("FAIL marquee_timing: the class cannot be created\n");
    return 1;
  }
  CallLong(so, L"OpenService", {Str(L"LineDisplay"), Str(L"JQ POS POLE DISPLAY"), NullDispatch()});
  CallLong(so, L"ClaimDevice", {I4(1000)});
  CallLong(so, L"CreateWindow", {I4(0), I4(0), I4(1), I4(20), I4(1), I4(20)});
  CallLong(so, L"CreateWindow", {I4(1), I4(0), I4(1), I4(20), I4(1), I4(20)});
  LONG stopWindow = 1;
  if (mode == "line1") {
    Prepare(so, 1, L"Scrolling Text Line 1 ", 100);
  } else if (mode == "line2") {
    Prepare(so, 2, L"Scrolling Text Line 2 ", 50);
    stopWindow = 2;
  } else if (mode == "both") {
    Prepare(so, 1, L"Scrolling Text Line 1 ", 100);
    Prepare(so, 2, L"Scrolling Text Line 2 ", 50);
    stopWindow = 2;
  } else if (mode != "blink") {
    std::printf("FAIL marquee_timing: unknown mode %s\n", mode.c_str());
    return 2;
  }
  const double cpuStart = CpuSeconds();
  const ULONGLONG wallStart = GetTickCount64();
  if (mode == "both") {
    SetNumber(so, kCurrentWindow, 1);
    SetNumber(so, kMarqueeType, kMarqueeLeft);
    SetNumber(so, kCurrentWindow, 2);
    SetNumber(so, kMarqueeType, kMarqueeLeft);
  } else if (mode == "blink") {
    SetNumber(so, kCurrentWindow, 1);
    SetNumber(so, kMarqueeUnitWait, 100);
    CallLong(so, L"DisplayTextAt", {I4(0), I4(0), Str(L"Blinking line one"), I4(kBlink)});
  } else {
    SetNumber(so, kMarqueeType, kMarqueeLeft);
  }
  Sleep(static_cast<DWORD>(seconds * 1000));
  const double cpu = CpuSeconds() - cpuStart;
  const double wall = double(GetTickCount64() - wallStart) / 1000.0;
  SetNumber(so, kCurrentWindow, stopWindow);
  SetNumber(so, kMarqueeType, kMarqueeInit);
  CallLong(so, L"CloseService", {});
  so->Release();
  CoUninitialize();
  std::printf("cpu %.3f\n", 100.0 * cpu / wall);
  return 0;
}
