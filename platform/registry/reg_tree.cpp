// The case-insensitive key/value tree shared by the registry store and the in-memory registry.
#include "platform/registry/reg_tree.h"

#include <algorithm>
#include <array>

#include "platform/text/name_compare.h"
#include "platform/text/utf_convert.h"

namespace kirnow::platform::regtree {
namespace {

struct RootAlias {
  const char* alias;
  const char* canonical;
};

constexpr std::array<RootAlias, 10> kRoots = {{
    {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"},
    {"HKLM", "HKEY_LOCAL_MACHINE"},
    {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"},
    {"HKCR", "HKEY_CLASSES_ROOT"},
    {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER"},
    {"HKCU", "HKEY_CURRENT_USER"},
    {"HKEY_USERS", "HKEY_USERS"},
    {"HKU", "HKEY_USERS"},
    {"HKEY_CURRENT_CONFIG", "HKEY_CURRENT_CONFIG"},
    {"HKCC", "HKEY_CURRENT_CONFIG"},
}};

// A name's length as Windows counts it, in UTF-16 code units; never more than its bytes.
size_t Utf16Length(std::string_view utf8) { return Utf8ToUtf16(utf8).size(); }

// "a key name of 256 characters (the registry allows 255)".
std::string Beyond(const char* what, size_t size, const char* unit, size_t allowed) {
  return std::string(what) + " " + std::to_string(size) + " " + unit + " (the registry allows " +
         std::to_string(allowed) + ")";
}

}  // namespace

bool NameEquals(std::string_view a, std::string_view b) { return text::EqualsNoCase(a, b); }

int NameCompare(std::string_view a, std::string_view b) { return text::CompareNoCase(a, b); }

Key::Key(std::string_view name) : Key(name, text::FoldedAscii(name)) {}

Key::Key(std::string_view name, std::string folded) : name(name), folded_(std::move(folded)) {}

Key::~Key() {
  std::vector<std::unique_ptr<Key>> doomed = std::move(subkeys_);
  while (!doomed.empty()) {
    std::unique_ptr<Key> key = std::move(doomed.back());
    doomed.pop_back();
    if (key == nullptr) continue;
    for (std::unique_ptr<Key>& sub : key->subkeys_) doomed.push_back(std::move(sub));
    key->subkeys_.clear();  // so that it goes without any below it
  }
}

void Key::TidySubkeys() const {
  if (removedSubkeys_ != 0) {
    std::erase(subkeys_, nullptr);
    removedSubkeys_ = 0;
  }
  if (!sorted_) {
    // The folded names, compared as plain strings, sort as NameCompare sorts the names.
    std::sort(subkeys_.begin(), subkeys_.end(),
              [](const std::unique_ptr<Key>& a, const std::unique_ptr<Key>& b) {
                return a->folded_ < b->folded_;
              });
    sorted_ = true;
  }
  for (size_t i = 0; i < subkeys_.size(); ++i) subkeys_[i]->slot_ = i;
}

void Key::TidyValues() const {
  if (removedValues_ == 0) return;
  size_t kept = 0;
  for (size_t i = 0; i < values_.size(); ++i) {
    if (valueSlots_[i] == nullptr) continue;
    if (kept != i) {
      values_[kept] = std::move(values_[i]);
      valueSlots_[kept] = valueSlots_[i];
    }
    *valueSlots_[kept] = kept;
    ++kept;
  }
  values_.resize(kept);
  valueSlots_.resize(kept);
  removedValues_ = 0;
}

const std::vector<std::unique_ptr<Key>>& Key::subkeys() const {
  if (removedSubkeys_ != 0 || !sorted_) TidySubkeys();
  return subkeys_;
}

const std::vector<RegValue>& Key::values() const {
  TidyValues();
  return values_;
}

Key* Key::FindSubkey(std::string_view n) const {
  const auto it = subkeyIndex_.find(text::FoldedAscii(n));
  return it != subkeyIndex_.end() ? it->second : nullptr;
}

Key& Key::AddSubkey(std::string_view n) {
  std::string folded = text::FoldedAscii(n);
  if (const auto it = subkeyIndex_.find(folded); it != subkeyIndex_.end()) return *it->second;
  std::unique_ptr<Key> key(new Key(n, std::move(folded)));
  if (!subkeys_.empty() && !(subkeys_.back()->folded_ < key->folded_)) sorted_ = false;
  key->slot_ = subkeys_.size();
  Key& added = *key;
  subkeyIndex_.emplace(added.folded_, &added);
  subkeys_.push_back(std::move(key));
  return added;
}

bool Key::RemoveSubkey(std::string_view n) {
  const auto it = subkeyIndex_.find(text::FoldedAscii(n));
  if (it == subkeyIndex_.end()) return false;
  const size_t slot = it->second->slot_;
  subkeyIndex_.erase(it);  // before the key whose name it views goes
  subkeys_[slot].reset();
  ++removedSubkeys_;
  // The last place is never a gap, so that an added key can be compared with the one before it.
  while (!subkeys_.empty() && subkeys_.back() == nullptr) {
    subkeys_.pop_back();
    --removedSubkeys_;
  }
  return true;
}

const RegValue* Key::FindValue(std::string_view n) const {
  const auto it = valueIndex_.find(text::FoldedAscii(n));
  return it != valueIndex_.end() ? &values_[it->second] : nullptr;
}

void Key::PutValue(const RegValue& v) {
  const auto [it, added] = valueIndex_.try_emplace(text::FoldedAscii(v.name), values_.size());
  if (!added) {
    RegValue& existing = values_[it->second];
    existing.type = v.type;
    existing.data = v.data;
    return;
  }
  values_.push_back(v);
  valueSlots_.push_back(&it->second);  // an element of the map stays where it is
}

bool Key::RemoveValue(std::string_view n) {
  const auto it = valueIndex_.find(text::FoldedAscii(n));
  if (it == valueIndex_.end()) return false;
  const size_t slot = it->second;
  valueIndex_.erase(it);
  values_[slot] = RegValue{};
  valueSlots_[slot] = nullptr;
  ++removedValues_;
  while (!valueSlots_.empty() && valueSlots_.back() == nullptr) {
    values_.pop_back();
    valueSlots_.pop_back();
    --removedValues_;
  }
  return true;
}

std::string CanonicalRoot(std::string_view root) {
  for (const RootAlias& r : kRoots) {
    if (NameEquals(root, r.alias)) return r.canonical;
  }
  return {};
}

std::optional<Path> ParsePath(std::string_view path) {
  Path p;
  size_t start = 0;
  bool first = true;
  while (true) {
    const size_t end = path.find('\\', start);
    const std::string_view part =
        path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const bool last = end == std::string_view::npos;
    if (first) {
      p.root = CanonicalRoot(part);
      if (p.root.empty()) return std::nullopt;
      first = false;
    } else if (part.empty()) {
      // Only a single trailing backslash is accepted.
      if (!last) return std::nullopt;
    } else {
      p.parts.emplace_back(part);
    }
    if (last) break;
    start = end + 1;
  }
  return p;
}

std::string BeyondLimits(const Path& p) {
  if (p.parts.size() > kMaxKeyDepth) {
    return Beyond("a key path", p.parts.size(), "levels deep", kMaxKeyDepth);
  }
  for (const std::string& part : p.parts) {
    if (part.size() > kMaxKeyNameLength && Utf16Length(part) > kMaxKeyNameLength) {
      return Beyond("a key name of", Utf16Length(part), "characters", kMaxKeyNameLength);
    }
  }
  return {};
}

std::string BeyondLimits(const RegValue& v) {
  if (v.name.size() > kMaxValueNameLength && Utf16Length(v.name) > kMaxValueNameLength) {
    return Beyond("a value name of", Utf16Length(v.name), "characters", kMaxValueNameLength);
  }
  if (v.data.size() > kMaxValueBytes) {
    return Beyond("a value of", v.data.size(), "bytes", kMaxValueBytes);
  }
  return {};
}

Tree::Tree() {
  for (const char* name : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                           "HKEY_USERS", "HKEY_CURRENT_CONFIG"}) {
    roots_.push_back(std::make_unique<Key>(name));
  }
}

Key* Tree::Root(std::string_view canonical) {
  for (auto& r : roots_) {
    if (r->name == canonical) return r.get();
  }
  return nullptr;
}

Key* Tree::Find(const Path& p) { return const_cast<Key*>(static_cast<const Tree&>(*this).Find(p)); }

Key* Tree::Find(std::string_view path) {
  return const_cast<Key*>(static_cast<const Tree&>(*this).Find(path));
}

const Key* Tree::Find(const Path& p) const {
  const Key* key = nullptr;
  for (const auto& r : roots_) {
    if (r->name == p.root) key = r.get();
  }
  for (const std::string& part : p.parts) {
    if (key == nullptr) return nullptr;
    key = key->FindSubkey(part);
  }
  return key;
}

const Key* Tree::Find(std::string_view path) const {
  const auto p = ParsePath(path);
  return p ? Find(*p) : nullptr;
}

Key* Tree::Create(const Path& p) {
  Key* key = Root(p.root);
  if (key == nullptr || !BeyondLimits(p).empty()) return nullptr;
  for (const std::string& part : p.parts) key = &key->AddSubkey(part);
  return key;
}

Key* Tree::Create(std::string_view path) {
  const auto p = ParsePath(path);
  return p ? Create(*p) : nullptr;
}

bool Tree::KeyExists(const std::string& path) { return Find(path) != nullptr; }

std::optional<uint32_t> Tree::SubkeyCount(const std::string& path) {
  const Key* key = Find(path);
  if (key == nullptr) return std::nullopt;
  return static_cast<uint32_t>(key->subkeys().size());
}

std::optional<uint32_t> Tree::ValueCount(const std::string& path) {
  const Key* key = Find(path);
  if (key == nullptr) return std::nullopt;
  return static_cast<uint32_t>(key->values().size());
}

std::optional<std::string> Tree::SubkeyName(const std::string& path, uint32_t index) {
  const Key* key = Find(path);
  if (key == nullptr || index >= key->subkeys().size()) return std::nullopt;
  return key->subkeys()[index]->name;
}

std::optional<RegValue> Tree::ValueAt(const std::string& path, uint32_t index) {
  const Key* key = Find(path);
  if (key == nullptr || index >= key->values().size()) return std::nullopt;
  return key->values()[index];
}

std::optional<RegValue> Tree::GetValue(const std::string& path, const std::string& name) {
  const Key* key = Find(path);
  if (key == nullptr) return std::nullopt;
  const RegValue* v = key->FindValue(name);
  if (v == nullptr) return std::nullopt;
  return *v;
}

bool Tree::SetValue(const std::string& path, const RegValue& value, bool& changed) {
  changed = false;
  Key* key = Find(path);
  if (key == nullptr || !BeyondLimits(value).empty()) return false;
  const RegValue* old = key->FindValue(value.name);
  if (old != nullptr && old->type == value.type && old->data == value.data) return true;
  key->PutValue(value);
  changed = true;
  return true;
}

bool Tree::CreateKey(const std::string& path, bool& changed) {
  changed = false;
  if (Find(path) != nullptr) return true;
  if (Create(path) == nullptr) return false;
  changed = true;
  return true;
}

bool Tree::DeleteTree(const std::string& path, bool& changed) {
  changed = false;
  const auto p = ParsePath(path);
  if (!p || p->parts.empty()) return false;  // never a whole root
  Path parentPath = *p;
  parentPath.parts.pop_back();
  Key* parent = Find(parentPath);
  if (parent == nullptr) return true;
  changed = parent->RemoveSubkey(p->parts.back());
  return true;
}

bool Tree::DeleteValue(const std::string& path, const std::string& name, bool& changed) {
  changed = false;
  Key* key = Find(path);
  if (key == nullptr) return false;
  changed = key->RemoveValue(name);
  return changed;
}

}  // namespace kirnow::platform::regtree
