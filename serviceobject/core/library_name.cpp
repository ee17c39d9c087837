// Finds the module that contains this code (the DLL or shared object, or the program itself
// when the core is linked statically) and derives its base name.
#include "serviceobject/core/library_name.h"

#include <iterator>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#undef CreateWindow
#undef MessageBox
#else
#include <dlfcn.h>
#include <unistd.h>

#include <array>
#endif

namespace kirnow {
namespace {

// An address inside this module, used to ask the loader which file it came from.
const char kModuleAnchor = 0;

constexpr std::string_view kFallbackName = "Kirnow";

std::string_view StripDirectory(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

#ifdef _WIN32

std::string ModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module)) {
    return {};
  }
  wchar_t wide[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(module, wide, static_cast<DWORD>(std::size(wide)));
  if (length == 0 || length >= std::size(wide)) return {};
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), utf8.data(), bytes, nullptr,
                      nullptr);
  return utf8;
}

std::string BaseNameOf(std::string_view path) {
  std::string_view name = StripDirectory(path);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name);
}

#else

std::string ModulePath() {
  Dl_info info{};
  if (dladdr(&kModuleAnchor, &info) != 0 && info.dli_fname != nullptr &&
      info.dli_fname[0] != '\0') {
    return info.dli_fname;
  }
  // Linked into the program itself: the loader may not name the main executable.
  std::array<char, 4096> buffer{};
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  return std::string(buffer.data(), static_cast<size_t>(length));
}

// "libkirnow.so" and "libkirnow.so.1" give "kirnow"; a program name keeps its name.
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
  std::string name = BaseNameOf(ModulePath());
  if (name.empty()) name = kFallbackName;
  return name;
}

}  // namespace

const std::string& LibraryBaseName() {
  static const std::string name = ComputeName();
  return name;
}

}  // namespace kirnow
