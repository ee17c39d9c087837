// Module seam: the file this code was loaded from. The platform library is linked statically
// into whatever uses it, so "this module" is Kirnow.dll or kirnow.so for the service object, and
// the program itself for Polecheck and the tests. On Windows the loader names the module that
// holds an address of this library (GetModuleHandleExW, GetModuleFileNameW); on Linux dladdr
// does, and /proc/self/exe names the program.
#pragma once

#include <string>

namespace kirnow::platform {

// The module's full path in UTF-8: absolute, and on Linux with symbolic links resolved. Empty
// when the system cannot name the module; then *osError (when given) holds the OS error of the
// step that failed (GetLastError on Windows, errno on Linux), which is never 0. On success
// *osError is 0.
std::string ModulePath(int* osError = nullptr);

}  // namespace kirnow::platform
