// Pinning the DLL this code is in: the loader keeps a pinned module until the process ends,
// whatever FreeLibrary calls follow.
#include "platform/module/module_pin.h"

#include <mutex>

#include "platform/win32/windows_headers.h"

namespace kirnow::platform {

void PinThisModule() {
  static std::once_flag once;
  std::call_once(once, [] {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&PinThisModule), &module);
  });
}

}  // namespace kirnow::platform
