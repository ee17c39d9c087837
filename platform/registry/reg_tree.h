// The in-memory key/value tree behind the Linux registry store and the tests' in-memory
// registry. Key and value names compare case-insensitively (ASCII letters only, as the registry
// does for the names we use) and keep the case they were created with. Subkeys enumerate in
// case-insensitive name order, as Windows enumerates them; values enumerate in creation order.
// Finding, adding and removing a name cost the same however many a key has, and nothing walks
// the tree recursively on its own (freeing it included), so that neither a key with very many
// entries nor a very deep one costs more than its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry/registry.h"

namespace kirnow::platform::regtree {

bool NameEquals(std::string_view a, std::string_view b);
// <0, 0 or >0 comparing the names case-insensitively.
int NameCompare(std::string_view a, std::string_view b);

// A key's subkeys and values, each list with a hashed index of the names folded as the registry
// compares them (folded once, when the name is added). A subkey added out of name order, or an
// entry removed, leaves its list to be put in order by the next read of the list, so that a
// whole file's keys cost one sort rather than one shift each. A key, like its tree, is used by
// one thread at a time even where it is only read: reading a list may tidy it.
class Key {
 public:
  explicit Key(std::string_view name);
  ~Key();  // frees the keys below level by level, never by recursion
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  const std::string name;

  const std::vector<std::unique_ptr<Key>>& subkeys() const;  // in NameCompare order
  const std::vector<RegValue>& values() const;               // in creation order

  Key* FindSubkey(std::string_view n) const;
  // The existing subkey of that name, or a new one.
  Key& AddSubkey(std::string_view n);
  bool RemoveSubkey(std::string_view n);
  const RegValue* FindValue(std::string_view n) const;
  // Replaces the data of an existing value (keeping its name's case and its place) or appends.
  void PutValue(const RegValue& v);
  bool RemoveValue(std::string_view n);

 private:
  Key(std::string_view name, std::string folded);
  void TidySubkeys() const;
  void TidyValues() const;

  const std::string folded_;  // the name as the registry compares it
  size_t slot_ = 0;           // its place in its parent's subkeys_
  // Null where a subkey was removed; out of order when `sorted_` is false.
  mutable std::vector<std::unique_ptr<Key>> subkeys_;
  mutable size_t removedSubkeys_ = 0;
  mutable bool sorted_ = true;
  std::unordered_map<std::string_view, Key*> subkeyIndex_;  // by each subkey's folded_
  // Each value's entry in valueIndex_, null where the value was removed.
  mutable std::vector<RegValue> values_;
  mutable std::vector<size_t*> valueSlots_;
  mutable size_t removedValues_ = 0;
  std::unordered_map<std::string, size_t> valueIndex_;  // folded name -> place in values_
};

// The registry's own limits, kept by the store too so that it never holds what Windows would
// refuse: a key path deeper than 512 levels below its root, a key name over 255 characters, a
// value name over 16,383, a value over 1 MB (the limit of the standard hive format).
// Characters are UTF-16 code units, as Windows counts them.
inline constexpr size_t kMaxKeyDepth = 512;
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxValueNameLength = 16383;
inline constexpr size_t kMaxValueBytes = 1024 * 1024;

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
// What of the path or the value is beyond the limits above, in words for a message ("a key path
// 513 levels deep (the registry allows 512)"); empty when nothing is.
std::string BeyondLimits(const Path& p);
std::string BeyondLimits(const RegValue& v);

class Tree {
 public:
  Tree();

  Key* Root(std::string_view canonical);
  Key* Find(std::string_view path);
  Key* Find(const Path& p);
  const Key* Find(std::string_view path) const;
  const Key* Find(const Path& p) const;
  // Creates the key and its missing parents; nullptr for an invalid path or one beyond the
  // limits.
  Key* Create(std::string_view path);
  Key* Create(const Path& p);

  // The operations of the registry seam, on this tree. The mutating ones report through
  // `changed` whether the tree was modified (so a store knows whether to save). A value beyond
  // the limits is not set.
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
