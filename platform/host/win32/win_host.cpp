// The Windows host: GetLocalTime, the program's module name, the process's and thread's ids,
// the version ntdll reports (GetVersionEx answers what the program's manifest allows, not what
// runs) with Wine's own version where Wine runs it, and FormatMessage.
#include <cstdio>
#include <string>

#include "platform/host/host.h"
#include "platform/text/utf_convert.h"
#include "platform/win32/windows_headers.h"

namespace kirnow::platform {
namespace {

class WinHost final : public Host {
 public:
  LocalTime Now() override {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  }

  std::string ProcessName() override {
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
      length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length == 0 || length < buffer.size()) break;
      buffer.resize(buffer.size() * 2);
    }
    buffer.resize(length);
    const size_t slash = buffer.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? buffer : buffer.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return Utf8FromWide(name);
  }

  uint32_t ProcessId() override { return GetCurrentProcessId(); }
  uint32_t ThreadId() override { return GetCurrentThreadId(); }

  std::string SystemVersion() override {
    std::string text = "Windows";
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return text;
    // Through a function pointer without parameters, as GetProcAddress's may be cast.
    using AnyFunction = void (*)();
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    using WineVersion = const char*(CDECL*)();
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    const auto getVersion = reinterpret_cast<GetVersion>(
        reinterpret_cast<AnyFunction>(GetProcAddress(ntdll, "RtlGetVersion")));
    char buffer[64];
    if (getVersion != nullptr && getVersion(&info) == 0) {
      std::snprintf(buffer, sizeof buffer, "Windows %lu.%lu build %lu", info.dwMajorVersion,
                    info.dwMinorVersion, info.dwBuildNumber);
      text = buffer;
    }
    const auto wine = reinterpret_cast<WineVersion>(
        reinterpret_cast<AnyFunction>(GetProcAddress(ntdll, "wine_get_version")));
    if (wine != nullptr) text.append(" (Wine ").append(wine()).append(")");
    return text;
  }

  std::string ErrorText(int osError) override {
    wchar_t* words = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(osError), 0, reinterpret_cast<wchar_t*>(&words), 0, nullptr);
    std::wstring text = length != 0 && words != nullptr ? std::wstring(words, length) : L"";
    if (words != nullptr) LocalFree(words);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
      text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(osError) : Utf8FromWide(text);
  }
};

}  // namespace

std::unique_ptr<Host> MakeSystemHost() { return std::make_unique<WinHost>(); }

}  // namespace kirnow::platform
