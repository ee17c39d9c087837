// The base name of the module that contains this code (the DLL or shared object, or the program
// itself when the core is linked statically), from the platform's module path.
#include "serviceobject/core/library_name.h"

#include <string_view>

#include "platform/module/module_path.h"

namespace kirnow {
namespace {

constexpr std::string_view kFallbackName = "Kirnow";

std::string_view StripDirectory(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

#ifdef _WIN32

// "Kirnow.dll" gives "Kirnow".
std::string BaseNameOf(std::string_view path) {
  std::string_view name = StripDirectory(path);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name);
}

#else

// "Kirnow.so" gives "Kirnow"; a lib prefix and a version go too ("libfoo.so.1" gives "foo"); a
// program name keeps its name.
std::string BaseNameOf(std::string_view path) {
  std::string_view name = StripDirectory(path);
  if (name.size() > 3 && name.substr(0, 3) == "lib") name.remove_prefix(3);
  size_t cut = name.find(".so");
  if (cut == std::string_view::npos) cut = name.find_last_of('.');
  if (cut != std::string_view::npos && cut > 0) name = name.substr(0, cut);
  return std::string(name);
}

#endif

std::string ComputeName() {
  std::string name = BaseNameOf(platform::ModulePath());
  if (name.empty()) name = kFallbackName;
  return name;
}

}  // namespace

const std::string& LibraryBaseName() {
  static const std::string name = ComputeName();
  return name;
}

}  // namespace kirnow
