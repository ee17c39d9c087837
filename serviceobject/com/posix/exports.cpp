// Kirnow.so: the four entry points of an in-process server, and the module's end when the
// library is unloaded (or the process exits).
#include <string>

#include "kirnow_rgs.h"
#include "platform/module/module_path.h"
#include "platform/platform.h"
#include "serviceobject/com/guarded.h"
#include "serviceobject/com/registrar.h"
#include "serviceobject/com/server_module.h"
#include "serviceobject/core/display_ids.h"

#define KIRNOW_EXPORT extern "C" __attribute__((visibility("default")))

namespace kirnow::server {
namespace {

// Tears the module down at the end, when nothing it serves is alive: at process exit, or at an
// unload of a library that never handed out its factory (and so never pinned itself or made a
// module).
struct ModuleEnd {
  ~ModuleEnd() { ShutdownServerModule(); }
} g_moduleEnd;

HRESULT RunRegistrar(registrar::Mode mode) {
  return Guarded([&]() -> HRESULT {
    const std::string path = platform::ModulePath();
    if (path.empty()) return E_UNEXPECTED;
    auto registry = platform::MakeSystemRegistry(kirnow::DisplayUsbIds());
    if (!registry) return E_UNEXPECTED;
    return registrar::RunScript(*registry, kRegistrarScript, mode,
                                registrar::ServerReplacements(path));
  });
}

}  // namespace
}  // namespace kirnow::server

KIRNOW_EXPORT HRESULT DllCanUnloadNow() { return kirnow::server::CanUnloadNow(); }

KIRNOW_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return kirnow::server::GetClassObject(rclsid, riid, ppv);
}

KIRNOW_EXPORT HRESULT DllRegisterServer() {
  return kirnow::server::RunRegistrar(kirnow::registrar::Mode::Register);
}

KIRNOW_EXPORT HRESULT DllUnregisterServer() {
  return kirnow::server::RunRegistrar(kirnow::registrar::Mode::Unregister);
}
