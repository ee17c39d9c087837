// The Windows files. What is made here gets a protected access list of its own: full control
// for SYSTEM, the administrators and the account this process runs as, inherited by what a
// folder made here holds; other accounts cannot read the trace. A reparse point (a link) is
// never written through.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <algorithm>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/text/utf_convert.h"
#include "platform/win32/windows_headers.h"
// after windows.h, which they need
#include <sddl.h>

namespace kirnow::platform {
namespace {

// "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;<this account>)".
std::wstring PrivateSddl() {
  std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sddl;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size != 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    LPWSTR sid = nullptr;
    if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      sddl += L"(A;OICI;FA;;;" + std::wstring(sid) + L")";
      LocalFree(sid);
    }
  }
  CloseHandle(token);
  return sddl;
}

// The security attributes of what is made here, for as long as the object lives. Without them
// nothing is made: a trace that others could read is worse than none.
class PrivateSecurity {
 public:
  PrivateSecurity() {
    const std::wstring sddl = PrivateSddl();
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor_, nullptr)) {
      error_ = GetLastError();
      descriptor_ = nullptr;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
  ~PrivateSecurity() {
    if (descriptor_ != nullptr) LocalFree(descriptor_);
  }
  PrivateSecurity(const PrivateSecurity&) = delete;
  PrivateSecurity& operator=(const PrivateSecurity&) = delete;

  SECURITY_ATTRIBUTES* get() { return descriptor_ != nullptr ? &attributes_ : nullptr; }
  int error() const { return static_cast<int>(error_); }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
  DWORD error_ = 0;
};

class WinAppendFile final : public AppendFile {
 public:
  WinAppendFile(HANDLE handle, uint64_t size) : handle_(handle), size_(size) {}
  ~WinAppendFile() override { CloseHandle(handle_); }
  WinAppendFile(const WinAppendFile&) = delete;
  WinAppendFile& operator=(const WinAppendFile&) = delete;

  bool Append(std::string_view bytes, int& osError) override {
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
      DWORD written = 0;
      if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr) || written == 0) {
        osError = static_cast<int>(GetLastError());
        if (osError == 0) osError = ERROR_DISK_FULL;
        return false;
      }
      size_ += written;
      bytes.remove_prefix(written);
    }
    return true;
  }

  uint64_t Size() const override { return size_; }

 private:
  HANDLE handle_;
  uint64_t size_;
};

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Where the folders below the root begin: after "C:\" or "\\server\share\".
size_t FirstFolder(const std::wstring& path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    size_t at = 2;
    for (int parts = 0; parts < 2 && at < path.size(); ++parts) {
      while (at < path.size() && !IsSeparator(path[at])) ++at;
      if (at < path.size()) ++at;
    }
    return at;
  }
  if (path.size() >= 2 && path[1] == L':') return path.size() > 2 && IsSeparator(path[2]) ? 3 : 2;
  return IsSeparator(path.empty() ? L'x' : path[0]) ? 1 : 0;
}

class WinFiles final : public Files {
 public:
  bool MakeFolder(const std::string& folder, int& osError) override {
    const std::wstring path = WideFromUtf8(folder);
    if (IsFolder(path)) return true;
    PrivateSecurity security;
    if (security.get() == nullptr) {
      osError = security.error();
      return false;
    }
    for (size_t at = FirstFolder(path); at <= path.size(); ++at) {
      if (at != path.size() && !IsSeparator(path[at])) continue;
      const std::wstring part = path.substr(0, at);
      if (part.empty() || IsFolder(part)) continue;
      if (!CreateDirectoryW(part.c_str(), security.get()) &&
          GetLastError() != ERROR_ALREADY_EXISTS) {
        osError = static_cast<int>(GetLastError());
        return false;
      }
    }
    if (!IsFolder(path)) {
      osError = ERROR_DIRECTORY;
      return false;
    }
    return true;
  }

  std::unique_ptr<AppendFile> OpenAppend(const std::string& path, int& osError) override {
    PrivateSecurity security;
    if (security.get() == nullptr) {
      osError = security.error();
      return nullptr;
    }
    const HANDLE handle =
        CreateFileW(WideFromUtf8(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_DELETE, security.get(), OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      osError = static_cast<int>(GetLastError());
      return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        !GetFileSizeEx(handle, &size)) {
      osError = ERROR_INVALID_NAME;
      CloseHandle(handle);
      return nullptr;
    }
    return std::make_unique<WinAppendFile>(handle, static_cast<uint64_t>(size.QuadPart));
  }

  bool Rename(const std::string& from, const std::string& to, int& osError) override {
    if (MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING)) {
      return true;
    }
    osError = static_cast<int>(GetLastError());
    return false;
  }

  bool Remove(const std::string& path, int& osError) override {
    if (DeleteFileW(WideFromUtf8(path).c_str())) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    osError = static_cast<int>(error);
    return false;
  }

  int64_t SizeOf(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      return -1;
    }
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                data.nFileSizeLow);
  }

  std::string DefaultTraceFolder() override {
    std::wstring base(MAX_PATH, L'\0');
    DWORD length =
        GetEnvironmentVariableW(L"ProgramData", base.data(), static_cast<DWORD>(base.size()));
    if (length > base.size()) {
      base.resize(length);
      length =
          GetEnvironmentVariableW(L"ProgramData", base.data(), static_cast<DWORD>(base.size()));
    }
    base.resize(length != 0 && length < base.size() ? length : 0);
    if (base.empty()) base = L"C:\\ProgramData";
    return Utf8FromWide(base) + "\\Kirnow\\Trace";
  }
};

}  // namespace

std::unique_ptr<Files> MakeSystemFiles() { return std::make_unique<WinFiles>(); }

}  // namespace kirnow::platform
