// Module lock count, shared module state and cached type information of Kirnow.dll.
#include "serviceobject/com/win32/com_module.h"

#include <memory>
#include <mutex>

#include "kirnow_config.h"
#include "platform/platform.h"
#include "serviceobject/core/so_state.h"

namespace kirnow::win32com {
namespace {

HINSTANCE g_instance = nullptr;
volatile LONG g_lockCount = 0;

// The system seams and the state built over them, living as long as some object does.
struct SystemModule {
  std::unique_ptr<platform::Registry> registry = platform::MakeSystemRegistry();
  std::unique_ptr<platform::SerialDevice> serial = platform::MakeSystemSerialDevice(*registry);
  std::unique_ptr<platform::MessageBoxSink> messageBox = platform::MakeSystemMessageBox();
  std::unique_ptr<platform::Clock> clock = platform::MakeSystemClock();
  std::unique_ptr<platform::AnsiCodec> ansi = platform::MakeSystemAnsiCodec();
  ModuleState state{platform::Platform{*registry, *serial, *messageBox, *clock, *ansi},
                    KIRNOW_DEBUG_MODE != 0};
};

std::mutex g_stateLock;
std::unique_ptr<SystemModule> g_module;
int g_stateUsers = 0;

std::mutex g_typeInfoLock;
ITypeInfo* g_typeInfo = nullptr;

}  // namespace

HINSTANCE ModuleInstance() { return g_instance; }

void LockModule() { InterlockedIncrement(&g_lockCount); }
void UnlockModule() { InterlockedDecrement(&g_lockCount); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&g_lockCount, 0, 0); }

ModuleState& AcquireModuleState() {
  std::lock_guard<std::mutex> guard(g_stateLock);
  if (!g_module) g_module = std::make_unique<SystemModule>();
  ++g_stateUsers;
  return g_module->state;
}

void ReleaseModuleState() {
  std::unique_ptr<SystemModule> last;
  {
    std::lock_guard<std::mutex> guard(g_stateLock);
    if (g_stateUsers > 0 && --g_stateUsers == 0) last = std::move(g_module);
  }
  // Destroyed outside the lock: stopping the workers waits for them.
  last.reset();
}

bool WorkersRunning() {
  std::lock_guard<std::mutex> guard(g_stateLock);
  if (!g_module) return false;
  const DisplayShared& d = g_module->state.display;
  return d.Thread1_end_f.load() == 0 || d.Thread2_end_f.load() == 0 || d.Thread3_end_f.load() == 0;
}

HRESULT GetPoslDisplayTypeInfo(LCID lcid, ITypeInfo** typeInfo) {
  if (!typeInfo) return E_POINTER;
  *typeInfo = nullptr;
  std::lock_guard<std::mutex> guard(g_typeInfoLock);
  if (!g_typeInfo) {
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadRegTypeLib(LIBID_KirnowLib, 1, 0, lcid, &lib);
    if (FAILED(hr)) return hr;
    ITypeInfo* info = nullptr;
    hr = lib->GetTypeInfoOfGuid(IID_IPOSLDisplay, &info);
    lib->Release();
    if (FAILED(hr)) return hr;
    g_typeInfo = info;
  }
  g_typeInfo->AddRef();
  *typeInfo = g_typeInfo;
  return S_OK;
}

void ShutdownModule() {
  std::unique_ptr<SystemModule> module;
  {
    std::lock_guard<std::mutex> guard(g_stateLock);
    module = std::move(g_module);
    g_stateUsers = 0;
  }
  module.reset();
  std::lock_guard<std::mutex> guard(g_typeInfoLock);
  if (g_typeInfo) {
    g_typeInfo->Release();
    g_typeInfo = nullptr;
  }
}

}  // namespace kirnow::win32com

namespace kirnow::win32com::detail {
void SetModuleInstance(HINSTANCE instance) { g_instance = instance; }
}  // namespace kirnow::win32com::detail
