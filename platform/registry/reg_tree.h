// The in-memory key/value tree behind the Linux registry store and the tests' in-memory
// registry. Key and value names compare case-insensitively (ASCII letters only, as the registry
// does for the names we use) and keep the case they were created with. Subkeys enumerate in
// case-insensitive name order, as Windows enumerates them; values enumerate in creation order.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace kirnow::platform::regtree {

bool NameEquals(std::string_view a, std::string_view b);
// <0, 0 or >0 comparing the names case-insensitively.
int NameCompare(std::string_view a, std::string_view b);

struct Key {
  std::string name;
  std::vector<std::unique_ptr<Key>> subkeys;  // kept in NameCompare order
  std::vector<RegValue> values;               // in creation order

  Key* FindSubkey(std::string_view n) const;
  // The existing subkey of that name, or a new one.
  Key& AddSubkey(std::string_view n);
  bool RemoveSubkey(std::string_view n);
  const RegValue* FindValue(std::string_view n) const;
  // Replaces the data of an existing value (keeping its name's case and its place) or appends.
  void PutValue(const RegValue& v);
  bool RemoveValue(std::string_view n);
};

// A parsed path: the canonical root name and the key names below it.
struct Path {
  std::string root;  // e.g. "HKEY_LOCAL_MACHINE"
  std::vector<std::string> parts;
};

// Accepts the long root names and the short forms (HKLM, HKCR, HKCU, HKU, HKCC). A trailing
// backslash is tolerated; an empty name inside the path is not. nullopt for an unknown root.
std::optional<Path> ParsePath(std::string_view path);
// The canonical root name for a root written in a path, or empty when it is not a root.
std::string CanonicalRoot(std::string_view root);

class Tree {
 public:
  Tree();

  Key* Root(std::string_view canonical);
  Key* Find(std::string_view path);
  Key* Find(const Path& p);
  const Key* Find(std::string_view path) const;
  const Key* Find(const Path& p) const;
  // Creates the key and its missing parents; nullptr for an invalid path.
  Key* Create(std::string_view path);
  Key* Create(const Path& p);

  // The operations of the registry seam, on this tree. The mutating ones report through
  // `changed` whether the tree was modified (so a store knows whether to save).
  bool KeyExists(const std::string& path);
  std::optional<uint32_t> SubkeyCount(const std::string& path);
  std::optional<uint32_t> ValueCount(const std::string& path);
  std::optional<std::string> SubkeyName(const std::string& path, uint32_t index);
  std::optional<RegValue> ValueAt(const std::string& path, uint32_t index);
  std::optional<RegValue> GetValue(const std::string& path, const std::string& name);
  bool SetValue(const std::string& path, const RegValue& value, bool& changed);
  bool CreateKey(const std::string& path, bool& changed);
  bool DeleteTree(const std::string& path, bool& changed);
  bool DeleteValue(const std::string& path, const std::string& name, bool& changed);

  // Every root key in a fixed order (for saving and dumping).
  const std::vector<std::unique_ptr<Key>>& Roots() const { return roots_; }

 private:
  std::vector<std::unique_ptr<Key>> roots_;
};

}  // namespace kirnow::platform::regtree
