// The module's path on Linux: dladdr names the shared object that holds this code; code linked
// into the program itself has no name from the loader (the program's link map entry is empty),
// so /proc/self/exe names it.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE  // dladdr1
#endif
#include "platform/module/module_path.h"

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>

namespace kirnow::platform {

std::string ModulePath(int* osError) {
  int ignored = 0;
  int& error = osError != nullptr ? *osError : ignored;
  error = 0;
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&ModulePath), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) == 0 ||
      map == nullptr) {
    error = ENOENT;  // dladdr sets no errno: no loaded object holds the address
    return {};
  }
  if (map->l_name == nullptr || map->l_name[0] == '\0') {
    // The program itself.
    std::array<char, PATH_MAX> buffer{};
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
      error = length < 0 ? errno : ENOENT;
      return {};
    }
    return std::string(buffer.data(), static_cast<size_t>(length));
  }
  // A shared object: the name it was loaded by, made absolute. Where that no longer resolves
  // (the file was removed or renamed since), the loader's name is still the best there is.
  std::array<char, PATH_MAX> resolved{};
  if (realpath(map->l_name, resolved.data()) != nullptr) return resolved.data();
  return map->l_name;
}

}  // namespace kirnow::platform
