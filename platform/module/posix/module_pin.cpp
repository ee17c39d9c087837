// Pinning the shared object this code is in: RTLD_NODELETE on an object that is loaded already
// sets that mark, and the reference this takes is never dropped. In a program dlopen finds no
// object of that name and nothing happens.
#include "platform/module/module_pin.h"

#include <dlfcn.h>

#include <mutex>

namespace kirnow::platform {

void PinThisModule() {
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&PinThisModule), &info) != 0 && info.dli_fname != nullptr) {
      dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
  });
}

}  // namespace kirnow::platform
