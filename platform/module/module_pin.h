// Module seam: keeping this module loaded for the rest of the process. The platform library is
// linked statically into whatever uses it, so "this module" is Kirnow.dll or Kirnow.so for the
// service object; a program's own code stays mapped anyway, and pinning it changes nothing.
#pragma once

namespace kirnow::platform {

// Marks the module this code is in as never to be unloaded, once for the process: later calls
// do nothing. On Windows GetModuleHandleExW with GET_MODULE_HANDLE_EX_FLAG_PIN; on Linux a
// dlopen of itself with RTLD_NOLOAD | RTLD_NODELETE. Afterwards FreeLibrary, CoFreeAllLibraries
// (at CoUninitialize) and dlclose only drop their caller's reference: the code and the module's
// static objects stay until the process ends, and no unload runs their destructors.
void PinThisModule();

}  // namespace kirnow::platform
