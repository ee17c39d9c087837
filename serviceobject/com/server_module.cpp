// The library's module over the system's platform services. The library pins itself before it
// first hands out its class factory, the only way to its objects: from then on no FreeLibrary,
// CoFreeAllLibraries or dlclose unloads it, so a late Release, a worker or the port's keeper
// always finds its code and the module, whatever the host does first.
#include "serviceobject/com/server_module.h"

#include <memory>

#include "kirnow_config.h"
#include "platform/module/module_pin.h"
#include "platform/platform.h"
#include "platform/sync/thread_safety.h"
#include "serviceobject/com/class_factory.h"
#include "serviceobject/com/guarded.h"
#include "serviceobject/com/iposl_display.h"
#include "serviceobject/core/display_ids.h"
#include "serviceobject/display/display_engine.h"

namespace kirnow::server {
namespace {

class SystemModule final : public ComModule {
 public:
  ~SystemModule() override {
    // Stops the workers and closes the port before the platform services go.
    platform::MutexHold lock(mutex_);
    state_.reset();
  }

  ModuleState& State() override {
    platform::MutexHold lock(mutex_);
    if (!state_) {
      registry_ = platform::MakeSystemRegistry(kirnow::DisplayUsbIds());
      serial_ = platform::MakeSystemSerialDevice(*registry_);
      box_ = platform::MakeSystemMessageBox();
      clock_ = platform::MakeSystemClock();
      ansi_ = platform::MakeSystemAnsiCodec();
      files_ = platform::MakeSystemFiles();
      host_ = platform::MakeSystemHost();
      state_ = std::make_unique<ModuleState>(
          platform::Platform{*registry_, *serial_, *box_, *clock_, *ansi_, *files_, *host_},
          KIRNOW_DEBUG_MODE != 0);
    }
    return *state_;
  }

  bool WorkersRunning() override {
    platform::MutexHold lock(mutex_);
    if (!state_) return false;
    // Workers let go past their stop bound, the port's keeper and the field trace's writer
    // count too: no thread may run on the state when it goes.
    return WorkerThreadsAlive(*state_) || state_->Port.Keeping() ||
           state_->fieldTrace.WriterAlive();
  }

  ClassFactory& Factory() { return factory_; }

 private:
  platform::Mutex mutex_;
  std::unique_ptr<platform::Registry> registry_ KIRNOW_GUARDED_BY(mutex_);
  std::unique_ptr<platform::SerialDevice> serial_ KIRNOW_GUARDED_BY(mutex_);
  std::unique_ptr<platform::MessageBoxSink> box_ KIRNOW_GUARDED_BY(mutex_);
  std::unique_ptr<platform::Clock> clock_ KIRNOW_GUARDED_BY(mutex_);
  std::unique_ptr<platform::AnsiCodec> ansi_ KIRNOW_GUARDED_BY(mutex_);
  std::unique_ptr<platform::Files> files_ KIRNOW_GUARDED_BY(mutex_);
  std::unique_ptr<platform::Host> host_ KIRNOW_GUARDED_BY(mutex_);
  // Declared last: destroyed first.
  std::unique_ptr<ModuleState> state_ KIRNOW_GUARDED_BY(mutex_);
  ClassFactory factory_{*this};
};

// A plain pointer, so that no static destructor tears the module down behind the platform's
// back: the exports decide when (ShutdownServerModule).
platform::Mutex g_moduleLock;
SystemModule* g_module KIRNOW_GUARDED_BY(g_moduleLock) = nullptr;

SystemModule& TheModule() {
  platform::MutexHold guard(g_moduleLock);
  if (!g_module) g_module = new SystemModule();
  return *g_module;
}

// Nothing alive that the module serves: no object, lock, factory reference or thread.
bool IdleLocked(SystemModule& m) KIRNOW_REQUIRES(g_moduleLock) {
  return m.Objects() == 0 && m.Locks() == 0 && !m.WorkersRunning();
}

}  // namespace

HRESULT CanUnloadNow() noexcept {
  try {
    platform::MutexHold guard(g_moduleLock);
    return g_module == nullptr || IdleLocked(*g_module) ? S_OK : S_FALSE;
  } catch (...) {
    return S_FALSE;
  }
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualGUID(clsid, CLSID_POSLDisplay)) return CLASS_E_CLASSNOTAVAILABLE;
  return Guarded([&] {
    platform::PinThisModule();
    return TheModule().Factory().QueryInterface(riid, ppv);
  });
}

void ShutdownServerModule() noexcept {
  std::unique_ptr<SystemModule> module;
  {
    platform::MutexHold guard(g_moduleLock);
    // The module is made only after the pin, so an unload never finds one: this runs at
    // process exit (Linux runs static destructors then). While anything it serves is alive, a
    // host's own exit handlers may still call into it: it stays, and the process takes it all.
    if (g_module == nullptr || !IdleLocked(*g_module)) return;
    module.reset(g_module);
    g_module = nullptr;
  }
  try {
    module.reset();  // no thread runs: nothing to wait for
  } catch (...) {
  }
}

}  // namespace kirnow::server
