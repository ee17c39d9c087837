// A session as the OPOS control object runs it: the class is created by its ProgID through the
// class registry and every call goes by name through IDispatch. The Wine driver checks the bytes
// that reach the virtual display and the "Port" value written under the device entry.
//
//   opensession [path of the virtual display's byte log]
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/wine/wine_client.h"

using namespace kirnow::winetest;

namespace {

LONGLONG FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A marquee left running when the client lets the object go without CloseService: the last
// release stops the worker and closes the port, so the display's byte log stops growing and
// the next object opens the display again.
void ReleaseWithRunningMarquee(const std::wstring& displayLog) {
  IDispatch* so = nullptr;
  CoCreateInstance(CLSID_POSLDisplay, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                   reinterpret_cast<void**>(&so));
  if (!so) {
    Check(false, "second object for the marquee");
    return;
  }
  CallLong(so, L"OpenService", {Str(L"LineDisplay"), Str(L"JQ POS POLE DISPLAY"), NullDispatch()});
  CallLong(so, L"CreateWindow", {I4(0), I4(0), I4(1), I4(20), I4(1), I4(20)});
  Var none;
  CallByName(so, L"SetPropertyNumber", {I4(5014), I4(5)}, &none.v);
  CallLong(so, L"DisplayTextAt", {I4(0), I4(0), Str(L"Left running "), I4(0)});
  CallByName(so, L"SetPropertyNumber", {I4(5014), I4(3)}, &none.v);
  Sleep(400);
  const LONGLONG running = FileSize(displayLog);
  Sleep(400);
  Check(FileSize(displayLog) > running, "the marquee runs while the object is alive");
  so->Release();
  Sleep(200);
  const LONGLONG released = FileSize(displayLog);
  Sleep(600);
  const LONGLONG after = FileSize(displayLog);
  Check(released >= 0 && after == released,
        "releasing the object stops its marquee: nothing more reaches the display");
  if (after != released) {
    // Whether the log went on growing (a worker still sends) or came to rest (the display read
    // late what was sent before the release): its size every 200 ms for 2 s more.
    std::printf("  the log's size: %lld, %lld", released, after);
    for (int i = 0; i < 10; ++i) {
      Sleep(200);
      std::printf(", %lld", FileSize(displayLog));
    }
    std::printf("\n");
  }

  so = nullptr;
  CoCreateInstance(CLSID_POSLDisplay, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                   reinterpret_cast<void**>(&so));
  if (!so) return;
  CallLong(so, L"OpenService", {Str(L"LineDisplay"), Str(L"JQ POS POLE DISPLAY"), NullDispatch()});
  Check(CallLong(so, L"GetPropertyNumber", {I4(6)}) == 0,
        "a new object opens the display again after the release");
  CallLong(so, L"CloseService", {});
  so->Release();
}

}  // namespace

int main(int argc, char** argv) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::printf("FAIL opensession: CoInitializeEx\n");
    return 1;
  }

  CLSID clsid{};
  CheckHr(CLSIDFromProgID(L"JQ.POSLDisplay.1", &clsid), S_OK, "ProgID JQ.POSLDisplay.1 resolves");
  Check(IsEqualCLSID(clsid, CLSID_POSLDisplay), "ProgID names the POSLDisplay class");

  IDispatch* so = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&so));
  CheckHr(hr, S_OK, "CoCreateInstance through the class registry");
  if (FAILED(hr)) {
    CoUninitialize();
    return 1;
  }

  LONG rc = CallLong(so, L"OpenService",
                     {Str(L"LineDisplay"), Str(L"JQ POS POLE DISPLAY"), NullDispatch()}, &hr);
  CheckHr(hr, S_OK, "OpenService by name");
  Check(rc == 0, "OpenService returns 0");
  Check(CallLong(so, L"GetPropertyNumber", {I4(6)}) == 0, "ResultCode is 0 after OpenService");

  rc = CallLong(so, L"ClaimDevice", {I4(1000)}, &hr);
  Check(SUCCEEDED(hr) && rc == 0, "ClaimDevice returns 0");
  Check(CallLong(so, L"GetPropertyNumber", {I4(6)}) == 0, "ResultCode is 0 after ClaimDevice");

  {
    Var name;
    hr = CallByName(so, L"GetPropertyString", {I4(1000003)}, &name.v);
    Check(SUCCEEDED(hr) && V_VT(&name.v) == VT_BSTR &&
              Narrow(V_BSTR(&name.v), SysStringLen(V_BSTR(&name.v))) == "JQ POS Pole Display",
          "DeviceName is \"JQ POS Pole Display\"");
  }

  // The euro and pound signs go out in the ANSI code page: 80 and A3.
  rc = CallLong(so, L"DisplayText", {Str(L"Total \u20AC12 \u00A33"), I4(0)}, &hr);
  Check(SUCCEEDED(hr) && rc == 0, "DisplayText with euro and pound signs");

  {
    // Direct I/O passes its data and string by reference; both come back as they went.
    LONG data = 7;
    BSTR text = SysAllocString(L"abc");
    rc = CallLong(so, L"DirectIO", {I4(1), RefI4(&data), RefBstr(&text)}, &hr);
    Check(SUCCEEDED(hr) && rc == 0, "DirectIO by reference returns 0");
    Check(data == 7 && text && std::wcscmp(text, L"abc") == 0,
          "DirectIO leaves the caller's data and string as they were");
    SysFreeString(text);
  }
  {
    LONG character = -1;
    rc = CallLong(so, L"ReadCharacterAtCursor", {RefI4(&character)}, &hr);
    Check(SUCCEEDED(hr) && rc == 0, "ReadCharacterAtCursor by reference returns 0");
  }
  {
    Var none;
    hr = CallByName(so, L"SetPropertyNumber", {I4(5012), I4(0)}, &none.v);
    Check(SUCCEEDED(hr) && V_VT(&none.v) == VT_EMPTY, "SetPropertyNumber returns no value");
  }

  rc = CallLong(so, L"CloseService", {}, &hr);
  Check(SUCCEEDED(hr) && rc == 0, "CloseService returns 0");

  so->Release();

  if (argc > 1) {
    std::wstring log(argv[1], argv[1] + std::strlen(argv[1]));
    ReleaseWithRunningMarquee(log);
  }

  CoUninitialize();
  std::printf("%s opensession: %d failure(s)\n", g_failures ? "FAIL" : "PASS", g_failures);
  return g_failures ? 1 : 0;
}
