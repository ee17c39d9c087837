// The file name of the library this code is linked into, without directory and extension:
// "Kirnow" for Kirnow.dll and for Kirnow.so. It is the caption of the service object's
// own message boxes ("set error").
#pragma once

#include <string>

namespace kirnow {

// Never empty: falls back to "Kirnow" when the system cannot name the module.
const std::string& LibraryBaseName();

}  // namespace kirnow
