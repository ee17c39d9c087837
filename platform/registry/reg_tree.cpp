// The case-insensitive key/value tree shared by the registry store and the in-memory registry.
#include "platform/registry/reg_tree.h"

#include <algorithm>
#include <array>

#include "platform/text/name_compare.h"

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

}  // namespace

bool NameEquals(std::string_view a, std::string_view b) { return text::EqualsNoCase(a, b); }

int NameCompare(std::string_view a, std::string_view b) { return text::CompareNoCase(a, b); }

Key* Key::FindSubkey(std::string_view n) const {
  auto it = std::lower_bound(subkeys.begin(), subkeys.end(), n,
                             [](const std::unique_ptr<Key>& k, std::string_view name) {
                               return NameCompare(k->name, name) < 0;
                             });
  if (it != subkeys.end() && NameEquals((*it)->name, n)) return it->get();
  return nullptr;
}

Key& Key::AddSubkey(std::string_view n) {
  auto it = std::lower_bound(subkeys.begin(), subkeys.end(), n,
                             [](const std::unique_ptr<Key>& k, std::string_view name) {
                               return NameCompare(k->name, name) < 0;
                             });
  if (it != subkeys.end() && NameEquals((*it)->name, n)) return **it;
  auto key = std::make_unique<Key>();
  key->name = std::string(n);
  return **subkeys.insert(it, std::move(key));
}

bool Key::RemoveSubkey(std::string_view n) {
  for (auto it = subkeys.begin(); it != subkeys.end(); ++it) {
    if (NameEquals((*it)->name, n)) {
      subkeys.erase(it);
      return true;
    }
  }
  return false;
}

const RegValue* Key::FindValue(std::string_view n) const {
  for (const RegValue& v : values) {
    if (NameEquals(v.name, n)) return &v;
  }
  return nullptr;
}

void Key::PutValue(const RegValue& v) {
  for (RegValue& existing : values) {
    if (NameEquals(existing.name, v.name)) {
      existing.type = v.type;
      existing.data = v.data;
      return;
    }
  }
  values.push_back(v);
}

bool Key::RemoveValue(std::string_view n) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (NameEquals(it->name, n)) {
      values.erase(it);
      return true;
    }
  }
  return false;
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

Tree::Tree() {
  for (const char* name : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                           "HKEY_USERS", "HKEY_CURRENT_CONFIG"}) {
    auto key = std::make_unique<Key>();
    key->name = name;
    roots_.push_back(std::move(key));
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
  if (key == nullptr) return nullptr;
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
  return static_cast<uint32_t>(key->subkeys.size());
}

std::optional<uint32_t> Tree::ValueCount(const std::string& path) {
  const Key* key = Find(path);
  if (key == nullptr) return std::nullopt;
  return static_cast<uint32_t>(key->values.size());
}

std::optional<std::string> Tree::SubkeyName(const std::string& path, uint32_t index) {
  const Key* key = Find(path);
  if (key == nullptr || index >= key->subkeys.size()) return std::nullopt;
  return key->subkeys[index]->name;
}

std::optional<RegValue> Tree::ValueAt(const std::string& path, uint32_t index) {
  const Key* key = Find(path);
  if (key == nullptr || index >= key->values.size()) return std::nullopt;
  return key->values[index];
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
  if (key == nullptr) return false;
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
