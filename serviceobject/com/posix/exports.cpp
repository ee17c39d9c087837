// Kirnow.so: the module (one service-object state per loaded library, made from the system's
// platform services on first use and torn down when the library is unloaded) and the four entry
// points of an in-process server.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "kirnow_config.h"
#include "kirnow_rgs.h"
#include "platform/com/com_types.h"
#include "platform/platform.h"
#include "serviceobject/com/posix/class_factory.h"
#include "serviceobject/com/posix/com_module.h"
#include "serviceobject/com/posix/iposl_display.h"
#include "serviceobject/com/registrar.h"

#define KIRNOW_EXPORT extern "C" __attribute__((visibility("default")))

namespace kirnow::posixcom {
namespace {

class SharedObjectModule final : public ComModule {
 public:
  ~SharedObjectModule() override {
    // Stops the workers and closes the port before the platform services go.
    std::lock_guard<std::mutex> lock(mutex_);
    state_.reset();
  }

  ModuleState& State() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!state_) {
      registry_ = platform::MakeSystemRegistry();
      serial_ = platform::MakeSystemSerialDevice(*registry_);
      box_ = platform::MakeSystemMessageBox();
      clock_ = platform::MakeSystemClock();
      ansi_ = platform::MakeSystemAnsiCodec();
      state_ = std::make_unique<ModuleState>(
          platform::Platform{*registry_, *serial_, *box_, *clock_, *ansi_}, KIRNOW_DEBUG_MODE != 0);
    }
    return *state_;
  }

  bool WorkersRunning() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!state_) return false;
    const DisplayShared& d = state_->display;
    return d.Thread1_end_f == 0 || d.Thread2_end_f == 0 || d.Thread3_end_f == 0;
  }

  ClassFactory& Factory() { return factory_; }

 private:
  std::mutex mutex_;
  std::unique_ptr<platform::Registry> registry_;
  std::unique_ptr<platform::SerialDevice> serial_;
  std::unique_ptr<platform::MessageBoxSink> box_;
  std::unique_ptr<platform::Clock> clock_;
  std::unique_ptr<platform::AnsiCodec> ansi_;
  std::unique_ptr<ModuleState> state_;  // declared last: destroyed first
  ClassFactory factory_{*this};
};

// Destroyed when the library is unloaded (or at process exit).
SharedObjectModule& TheModule() {
  static SharedObjectModule module;
  return module;
}

// The absolute path of this library file.
std::string ModulePath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&TheModule), &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

HRESULT RunRegistrar(registrar::Mode mode) {
  try {
    const std::string path = ModulePath();
    if (path.empty()) return E_UNEXPECTED;
    auto registry = platform::MakeSystemRegistry();
    if (!registry) return E_UNEXPECTED;
    return registrar::RunScript(*registry, kRegistrarScript, mode, {{"MODULE", path}});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace
}  // namespace kirnow::posixcom

using kirnow::posixcom::TheModule;

KIRNOW_EXPORT HRESULT DllCanUnloadNow() {
  try {
    auto& module = TheModule();
    if (module.Objects() != 0 || module.Locks() != 0 || module.WorkersRunning()) return S_FALSE;
    return S_OK;
  } catch (...) {
    return S_FALSE;
  }
}

KIRNOW_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualGUID(rclsid, kirnow::posixcom::CLSID_POSLDisplay)) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    return TheModule().Factory().QueryInterface(riid, ppv);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

KIRNOW_EXPORT HRESULT DllRegisterServer() {
  return kirnow::posixcom::RunRegistrar(kirnow::registrar::Mode::Register);
}

KIRNOW_EXPORT HRESULT DllUnregisterServer() {
  return kirnow::posixcom::RunRegistrar(kirnow::registrar::Mode::Unregister);
}
