// com_contract.exe: the shared COM contract against Kirnow.dll under the real COM runtime. The
// library is loaded with LoadLibrary and its entry points called directly, as the Linux runner
// calls Kirnow.so's; the display is the one the device entry names.
//
//   com_contract <path of Kirnow.dll> <logical device name>
#include <cstdio>
#include <string>

#include "platform/text/utf_convert.h"
#include "tests/conformance/com_contract.h"
#include "tests/wine/wine_client.h"

namespace {

class PrintingReport final : public kirnow::contract::Report {
 public:
  const char* current = "";
  int failures = 0;
  void Check(bool ok, const std::string& what) override {
    std::printf("%s %s: %s\n", ok ? "PASS" : "FAIL", current, what.c_str());
    std::fflush(stdout);
    if (!ok) ++failures;
  }
};

class DllServer final : public kirnow::contract::Server {
 public:
  DllServer(HMODULE dll, std::string device)
      : canUnload_(reinterpret_cast<LPFNCANUNLOADNOW>(
            reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")))),
        getClassObject_(reinterpret_cast<LPFNGETCLASSOBJECT>(
            reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")))),
        device_(std::move(device)) {}
  bool Usable() const { return canUnload_ && getClassObject_; }
  HRESULT CanUnloadNow() override { return canUnload_(); }
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) override {
    return getClassObject_(clsid, riid, ppv);
  }
  std::string DeviceName() override { return device_; }

 private:
  LPFNCANUNLOADNOW canUnload_;
  LPFNGETCLASSOBJECT getClassObject_;
  std::string device_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: com_contract <path of Kirnow.dll> <logical device name>\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::printf("FAIL com_contract: CoInitializeEx\n");
    return 1;
  }
  PrintingReport report;
  HMODULE dll = LoadLibraryW(kirnow::platform::WideFromUtf8(argv[1]).c_str());
  if (!dll) {
    std::printf("FAIL com_contract: LoadLibrary of %s (error %lu)\n", argv[1],
                static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  DllServer server(dll, argv[2]);
  if (!server.Usable()) {
    std::printf("FAIL com_contract: the entry points are not exported by name\n");
    return 1;
  }
  for (const kirnow::contract::Case& c : kirnow::contract::Cases()) {
    report.current = c.name;
    c.run(server, report);
  }
  FreeLibrary(dll);
  CoUninitialize();
  std::printf("%s com_contract: %d failure(s)\n", report.failures ? "FAIL" : "PASS",
              report.failures);
  return report.failures ? 1 : 0;
}
