// The module's path on Windows: the module that holds an address of this library, asked without
// taking a reference, and its file name, in a buffer that grows until the name fits.
#include "platform/module/module_path.h"

#include <string>

#include "platform/text/utf_convert.h"
#include "platform/win32/windows_headers.h"

namespace kirnow::platform {

std::string ModulePath(int* osError) {
  int ignored = 0;
  int& error = osError != nullptr ? *osError : ignored;
  error = 0;
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModulePath), &module)) {
    error = static_cast<int>(GetLastError());
    return {};
  }
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      error = static_cast<int>(GetLastError());
      return {};
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return Utf8FromWide(buffer);
    }
    buffer.resize(buffer.size() * 2);  // truncated: the name is longer
  }
}

}  // namespace kirnow::platform
