// regsvr: registers or unregisters an in-process server library by calling its
// DllRegisterServer or DllUnregisterServer, like the Windows tool of the same purpose.
//
//   regsvr [/u] [/s] PATH.so      (options may also be written -u, -s)
//
// /u unregisters; /s prints nothing on success. The exit status is 0 on success, 1 when the
// library cannot be loaded or lacks the entry point, 2 when the entry point reports a failure,
// and 3 for a usage error.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/com/com_types.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: regsvr [/u] [/s] LIBRARY\n");
  return 3;
}

const char* Describe(HRESULT hr) {
  switch (hr) {
    case E_ACCESSDENIED:
      return "the registry refused the change (check that the registry store named by "
             "KIRNOW_REGISTRY can be written)";
    case DISP_E_EXCEPTION:
      return "the library's registration script is malformed";
    case E_OUTOFMEMORY:
      return "out of memory";
    case E_UNEXPECTED:
      return "the library could not find its own file or the registry";
    default:
      return "error";
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  bool silent = false;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if ((a[0] == '/' || a[0] == '-') && a[1] != '\0' && a[2] == '\0') {
      if (a[1] == 'u' || a[1] == 'U') {
        unregister = true;
        continue;
      }
      if (a[1] == 's' || a[1] == 'S') {
        silent = true;
        continue;
      }
      // A one-letter word after '/' may still be a path ("/x" is unusual but possible).
      if (a[0] == '-') return Usage();
    }
    if (!path.empty()) return Usage();
    path = a;
  }
  if (path.empty()) return Usage();

  // A bare file name would send dlopen searching the library path; name the file itself.
  if (path.find('/') == std::string::npos) path = "./" + path;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    std::fprintf(stderr, "regsvr: cannot load %s: %s\n", path.c_str(), why ? why : "unknown error");
    return 1;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto fn = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(library, entry));
  if (!fn) {
    std::fprintf(stderr, "regsvr: %s was loaded, but its %s entry point was not found\n",
                 path.c_str(), entry);
    dlclose(library);
    return 1;
  }
  const HRESULT hr = fn();
  // Keep the library loaded until its work is done; unload it only if it agrees.
  auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(library, "DllCanUnloadNow"));
  if (!canUnload || canUnload() == S_OK) dlclose(library);
  if (FAILED(hr)) {
    std::fprintf(stderr, "regsvr: %s in %s failed: %s (0x%08X)\n", entry, path.c_str(),
                 Describe(hr), static_cast<unsigned>(hr));
    return 2;
  }
  if (!silent) std::printf("%s in %s succeeded.\n", entry, path.c_str());
  return 0;
}
