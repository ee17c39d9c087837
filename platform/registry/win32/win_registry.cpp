// The Windows registry through advapi32; names and string data converted between UTF-8 and
// UTF-16.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601  // RegDeleteTreeW
#endif
#include <algorithm>
#include <vector>

#include "platform/registry/reg_tree.h"
#include "platform/registry/registry.h"
#include "platform/text/utf_convert.h"
#include "platform/win32/windows_headers.h"

namespace kirnow::platform {
namespace {

std::wstring Wide(std::string_view utf8) { return WideFromUtf8(utf8); }

std::string Narrow(const wchar_t* text, size_t length) {
  return Utf8FromWide(std::wstring_view(text, length));
}

struct WinPath {
  HKEY root = nullptr;
  std::wstring sub;
};

std::optional<WinPath> Split(const std::string& path) {
  const auto p = regtree::ParsePath(path);
  if (!p) return std::nullopt;
  WinPath w;
  if (p->root == "HKEY_LOCAL_MACHINE") {
    w.root = HKEY_LOCAL_MACHINE;
  } else if (p->root == "HKEY_CLASSES_ROOT") {
    w.root = HKEY_CLASSES_ROOT;
  } else if (p->root == "HKEY_CURRENT_USER") {
    w.root = HKEY_CURRENT_USER;
  } else if (p->root == "HKEY_USERS") {
    w.root = HKEY_USERS;
  } else if (p->root == "HKEY_CURRENT_CONFIG") {
    w.root = HKEY_CURRENT_CONFIG;
  } else {
    return std::nullopt;
  }
  std::string sub;
  for (const std::string& part : p->parts) {
    if (!sub.empty()) sub += '\\';
    sub += part;
  }
  w.sub = Wide(sub);
  return w;
}

// An open key, closed when it goes out of scope.
class Key {
 public:
  Key(const std::string& path, REGSAM access) {
    if (const auto w = Split(path)) {
      if (RegOpenKeyExW(w->root, w->sub.c_str(), 0, access, &h_) != ERROR_SUCCESS) h_ = nullptr;
    }
  }
  ~Key() {
    if (h_ != nullptr) RegCloseKey(h_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HKEY h_ = nullptr;
};

class WinRegistry : public Registry {
 public:
  bool KeyExists(const std::string& path) override {
    return static_cast<bool>(Key(path, KEY_READ));
  }

  std::optional<uint32_t> SubkeyCount(const std::string& path) override {
    Key key(path, KEY_READ);
    DWORD n = 0;
    if (!key || RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &n, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return static_cast<uint32_t>(n);
  }

  std::optional<uint32_t> ValueCount(const std::string& path) override {
    Key key(path, KEY_READ);
    DWORD n = 0;
    if (!key || RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return static_cast<uint32_t>(n);
  }

  std::optional<std::string> SubkeyName(const std::string& path, uint32_t index) override {
    Key key(path, KEY_READ);
    if (!key) return std::nullopt;
    wchar_t name[256];
    DWORD len = 256;
    if (RegEnumKeyExW(key.get(), index, name, &len, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    return Narrow(name, len);
  }

  std::optional<RegValue> ValueAt(const std::string& path, uint32_t index) override {
    Key key(path, KEY_READ);
    if (!key) return std::nullopt;
    DWORD maxName = 0, maxData = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    // The value may grow between the two calls; try again with the larger size.
    for (int attempt = 0; attempt < 4; ++attempt) {
      std::vector<wchar_t> name(maxName + 2);
      std::vector<BYTE> data(maxData + 2);
      DWORD nameLen = static_cast<DWORD>(name.size());
      DWORD dataLen = static_cast<DWORD>(data.size());
      DWORD type = 0;
      const LONG rc = RegEnumValueW(key.get(), index, name.data(), &nameLen, nullptr, &type,
                                    data.data(), &dataLen);
      if (rc == ERROR_MORE_DATA) {
        maxName = maxName * 2 + 256;
        maxData = std::max<DWORD>(dataLen, maxData * 2 + 256);
        continue;
      }
      if (rc != ERROR_SUCCESS) return std::nullopt;
      RegValue v;
      v.name = Narrow(name.data(), nameLen);
      v.type = static_cast<RegType>(type);
      v.data.assign(data.begin(), data.begin() + dataLen);
      return v;
    }
    return std::nullopt;
  }

  std::optional<RegValue> GetValue(const std::string& path, const std::string& name) override {
    Key key(path, KEY_READ);
    if (!key) return std::nullopt;
    const std::wstring wname = Wide(name);
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD type = 0;
      DWORD size = 0;
      if (RegQueryValueExW(key.get(), wname.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS) {
        return std::nullopt;
      }
      std::vector<BYTE> data(size);
      const LONG rc = RegQueryValueExW(key.get(), wname.c_str(), nullptr, &type,
                                       size ? data.data() : nullptr, &size);
      if (rc == ERROR_MORE_DATA) continue;
      if (rc != ERROR_SUCCESS) return std::nullopt;
      RegValue v;
      v.name = name;
      v.type = static_cast<RegType>(type);
      v.data.assign(data.begin(), data.begin() + size);
      return v;
    }
    return std::nullopt;
  }

  bool SetValue(const std::string& path, const RegValue& value) override {
    Key key(path, KEY_SET_VALUE);
    if (!key) return false;
    return RegSetValueExW(key.get(), Wide(value.name).c_str(), 0, static_cast<DWORD>(value.type),
                          value.data.empty() ? nullptr : value.data.data(),
                          static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
  }

  bool CreateKey(const std::string& path) override {
    const auto w = Split(path);
    if (!w) return false;
    HKEY h = nullptr;
    if (RegCreateKeyExW(w->root, w->sub.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &h,
                        nullptr) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(h);
    return true;
  }

  bool DeleteTree(const std::string& path) override {
    const auto w = Split(path);
    if (!w || w->sub.empty()) return false;  // never a whole root
    const LONG rc = RegDeleteTreeW(w->root, w->sub.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
  }

  bool DeleteValue(const std::string& path, const std::string& name) override {
    Key key(path, KEY_SET_VALUE);
    if (!key) return false;
    return RegDeleteValueW(key.get(), Wide(name).c_str()) == ERROR_SUCCESS;
  }
};

}  // namespace

std::unique_ptr<Registry> MakeSystemRegistry(const UsbIds&) {
  return std::make_unique<WinRegistry>();
}

}  // namespace kirnow::platform
