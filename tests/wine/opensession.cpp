// A session as the OPOS control object runs it: the class is created by its ProgID through the
// class registry and every call goes by name through IDispatch. The Wine driver checks the bytes
// that reach the virtual display and the "Port" value written under the device entry.
#include <cstring>

#include "tests/wine/wine_client.h"

using namespace kirnow::winetest;

int main() {
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
  CoUninitialize();
  std::printf("%s opensession: %d failure(s)\n", g_failures ? "FAIL" : "PASS", g_failures);
  return g_failures ? 1 : 0;
}
