// The library unloaded under a session that is still open, as a POS application that ends
// without closing its device does: FreeLibrary of Kirnow.dll while an object holds the port
// (idle, or walking a marquee on line 1), and CoUninitialize with the object still held (it
// frees the in-process servers whether or not their objects are alive). Each must return
// within a second, nothing may crash while the library's threads go on, and the process must
// exit with 0. With "-nodisplay" the session found no display and was closed before, with
// "-nocall" the object had no call at all (no thread of the library ran). With "-release" the host
// then releases its object after all, late: the Release returns (the session closes and the
// library's threads end) and nothing crashes.
//
//   unload <path of Kirnow.dll> free|free-marquee|couninitialize[-nodisplay|-nocall][-release]
#include <string>

#include "opos/opos_constants.h"
#include "tests/wine/wine_client.h"

using namespace kirnow::winetest;

namespace {

// Opens and claims the display on `so`; with `walk`, line 1 walks a marquee.
void StartSession(IDispatch* so, bool walk) {
  using namespace kirnow;
  Check(CallLong(so, L"OpenService",
                 {Str(L"LineDisplay"), Str(L"JQ POS POLE DISPLAY"), NullDispatch()}) == 0,
        "unload: OpenService");
  CallLong(so, L"ClaimDevice", {I4(1000)});
  CallLong(so, L"ClearText", {});
  CallLong(so, L"DisplayTextAt", {I4(1), I4(0), Str(L"left open"), I4(0)});
  if (!walk) return;
  CallLong(so, L"CreateWindow", {I4(0), I4(0), I4(1), I4(20), I4(1), I4(20)});
  CallLong(so, L"SetPropertyNumber", {I4(PIDXDisp_MarqueeUnitWait), I4(50)});
  CallLong(so, L"SetPropertyNumber", {I4(PIDXDisp_MarqueeType), I4(DISP_MT_INIT)});
  CallLong(so, L"DisplayTextAt", {I4(0), I4(0), Str(L"walking"), I4(0)});
  CallLong(so, L"SetPropertyNumber", {I4(PIDXDisp_MarqueeType), I4(DISP_MT_LEFT)});
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc == 3 ? argv[2] : "";
  auto takeSuffix = [&mode](const std::string& suffix) {
    const bool there = mode.size() > suffix.size() && mode.ends_with(suffix);
    if (there) mode.resize(mode.size() - suffix.size());
    return there;
  };
  const bool release = takeSuffix("-release");
  const bool noDisplay = takeSuffix("-nodisplay"), noCall = takeSuffix("-nocall");
  if (mode != "free" && mode != "free-marquee" && mode != "couninitialize") {
    std::printf(
        "usage: unload <Kirnow.dll> free|free-marquee|couninitialize"
        "[-nodisplay|-nocall][-release]\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const std::wstring path = kirnow::platform::WideFromUtf8(argv[1]);
  IDispatch* so = nullptr;
  HMODULE library = nullptr;
  if (mode == "couninitialize") {
    CoCreateInstance(CLSID_POSLDisplay, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                     reinterpret_cast<void**>(&so));
  } else {
    // Loaded by hand, so that this program holds the only reference of its own.
    library = LoadLibraryW(path.c_str());
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = library != nullptr ? reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(
                                        GetProcAddress(library, "DllGetClassObject")))
                                  : nullptr;
    IClassFactory* factory = nullptr;
    if (get != nullptr) {
      get(CLSID_POSLDisplay, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    }
    if (factory != nullptr) {
      factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&so));
      factory->Release();
    }
  }
  Check(so != nullptr, "unload: an object of the library");
  if (!so) return 1;
  if (noDisplay) {
    StartSession(so, false);
    CallLong(so, L"CloseService", {});  // it found no display
  } else if (!noCall) {
    StartSession(so, mode != "free");
    Sleep(500);  // the port's keeper has looked at the port at least once
  }

  const DWORD before = GetTickCount();
  if (mode == "couninitialize") {
    CoUninitialize();  // the object is still held: never released
  } else {
    FreeLibrary(library);
  }
  const DWORD took = GetTickCount() - before;
  std::printf("unload: %s returned after %lu ms\n",
              mode == "couninitialize" ? "CoUninitialize" : "FreeLibrary",
              static_cast<unsigned long>(took));
  Check(took < 1000, "unload: it returns within a second");
  if (mode != "couninitialize") {
    // It pinned itself when it handed out its factory: the object and the port's keeper (and
    // the marquee) still find its code.
    Check(GetModuleHandleW(path.c_str()) != nullptr, "unload: the library stays loaded");
  }
  Sleep(700);  // the library's threads go on meanwhile; nothing may crash
  if (release) {
    const DWORD start = GetTickCount();
    so->Release();
    Check(GetTickCount() - start < 3000, "unload: the late Release returns within three seconds");
  }
  std::printf("%s unload: %d failure(s)\n", g_failures ? "FAIL" : "PASS", g_failures);
  std::fflush(stdout);
  return g_failures ? 1 : 0;
}
