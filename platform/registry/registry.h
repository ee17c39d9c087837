// Registry seam: the key and value operations that the service object, the COM registrar and the
// control object need. Paths are full and start with the root key's name, for example
// "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail" or "HKEY_CLASSES_ROOT\\CLSID"; the short forms
// HKLM and HKCR are accepted too. Key and value names compare case-insensitively and keep the case
// they were created with. Names and string data cross this seam as UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/device/usb_ids.h"

namespace kirnow::platform {

enum class RegType : uint32_t {
  String = 1,        // REG_SZ
  ExpandString = 2,  // REG_EXPAND_SZ
  Binary = 3,        // REG_BINARY
  Dword = 4,         // REG_DWORD
  MultiString = 7,   // REG_MULTI_SZ
};

// A value in Windows' own layout: strings are UTF-16LE with their terminating zero, a DWORD is
// four little-endian bytes, a multi-string is zero-separated with a final extra zero.
struct RegValue {
  std::string name;  // empty for the key's default value
  RegType type = RegType::String;
  std::vector<uint8_t> data;

  static RegValue FromString(std::string name, const std::string& utf8);
  static RegValue FromDword(std::string name, uint32_t value);
  // The data as UTF-8 text for String and ExpandString values (up to the first zero);
  // nullopt for other types.
  std::optional<std::string> AsString() const;
  std::optional<uint32_t> AsDword() const;

  bool operator==(const RegValue&) const = default;  // name (exactly), type and bytes
};

class Registry {
 public:
  virtual ~Registry() = default;

  virtual bool KeyExists(const std::string& path) = 0;
  // Number of direct subkeys / values; nullopt when the key cannot be opened.
  virtual std::optional<uint32_t> SubkeyCount(const std::string& path) = 0;
  virtual std::optional<uint32_t> ValueCount(const std::string& path) = 0;
  // Name of subkey `index` in enumeration order; nullopt when it cannot be read.
  virtual std::optional<std::string> SubkeyName(const std::string& path, uint32_t index) = 0;
  // Value `index` in enumeration order (name, type and data).
  virtual std::optional<RegValue> ValueAt(const std::string& path, uint32_t index) = 0;
  virtual std::optional<RegValue> GetValue(const std::string& path, const std::string& name) = 0;
  // Writes a value into an existing key; false when the key does not exist or cannot be written.
  virtual bool SetValue(const std::string& path, const RegValue& value) = 0;
  // Creates the key and any missing parents; true when it exists afterwards.
  virtual bool CreateKey(const std::string& path) = 0;
  // Deletes the key with all its subkeys; true when it is gone afterwards.
  virtual bool DeleteTree(const std::string& path) = 0;
  virtual bool DeleteValue(const std::string& path, const std::string& name) = 0;

  // A walk over what the registry shows of the devices plugged in now: from BeginWalk to the
  // matching EndWalk, every read of that part (on any thread: a port's lookup may be made by the
  // thread that owns the port) answers from one build of it, so that the indexes of an
  // enumeration hold to the walk's last lookup and a device that comes or goes meanwhile is
  // seen by the next walk. Walks nest and overlap; the build is held until the last one ends. A
  // registry that keeps no such view (Windows keeps an instance's record whether it is plugged
  // in or not) has nothing to hold.
  virtual void BeginWalk() {}
  virtual void EndWalk() {}
};

// A walk of `registry` for as long as it lives.
class RegistryWalk {
 public:
  explicit RegistryWalk(Registry& registry) : registry_(registry) { registry_.BeginWalk(); }
  ~RegistryWalk() { registry_.EndWalk(); }
  RegistryWalk(const RegistryWalk&) = delete;
  RegistryWalk& operator=(const RegistryWalk&) = delete;

 private:
  Registry& registry_;
};

// The platform's registry: advapi32 on Windows; on Linux the `.reg` text store named by
// $KIRNOW_REGISTRY, with the machine's USB serial devices shown where Windows records them
// (posix/live_usb_registry.h), where the devices of `servedFirst` (the caller's product) get
// their COM numbers first. Windows numbers its devices itself.
std::unique_ptr<Registry> MakeSystemRegistry(const UsbIds& servedFirst);

}  // namespace kirnow::platform
