// The in-memory registry of the tests: see memory_registry.h.
#include "tests/fakes/memory_registry.h"

#include <cstdio>

namespace kirnow::fakes {
namespace {

using platform::RegType;
using platform::RegValue;

// The path in one spelling: canonical root, names upper-cased.
std::string FoldPath(const std::string& path) {
  const auto p = platform::regtree::ParsePath(path);
  if (!p) return path;
  std::string out = p->root;
  for (const std::string& part : p->parts) {
    out += '\\';
    for (char c : part) out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return out;
}

const char* TypeName(RegType t) {
  switch (t) {
    case RegType::String:
      return "sz";
    case RegType::ExpandString:
      return "expand_sz";
    case RegType::Binary:
      return "binary";
    case RegType::Dword:
      return "dword";
    case RegType::MultiString:
      return "multi_sz";
  }
  return "other";
}

void DumpKey(const platform::regtree::Key& key, const std::string& path, std::string& out) {
  out += "[" + path + "]\n";
  for (const RegValue& v : key.values()) {
    out += (v.name.empty() ? std::string("@") : v.name) + "=" + TypeName(v.type) + ":";
    if (auto s = v.AsString()) {
      out += *s;
    } else if (auto d = v.AsDword()) {
      out += std::to_string(*d);
    } else {
      char hex[4];
      for (size_t i = 0; i < v.data.size(); ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02x" : ",%02x", v.data[i]);
        out += hex;
      }
    }
    out += "\n";
  }
  for (const auto& sub : key.subkeys()) DumpKey(*sub, path + "\\" + sub->name, out);
}

}  // namespace

bool MemoryRegistry::KeyExists(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return tree_.KeyExists(path);
}

std::optional<uint32_t> MemoryRegistry::SubkeyCount(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return tree_.SubkeyCount(path);
}

std::optional<uint32_t> MemoryRegistry::ValueCount(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return tree_.ValueCount(path);
}

std::optional<std::string> MemoryRegistry::SubkeyName(const std::string& path, uint32_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (SubkeyNameFails(path, index)) return std::nullopt;
  return tree_.SubkeyName(path, index);
}

std::optional<RegValue> MemoryRegistry::ValueAt(const std::string& path, uint32_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  return tree_.ValueAt(path, index);
}

std::optional<RegValue> MemoryRegistry::GetValue(const std::string& path, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  return tree_.GetValue(path, name);
}

bool MemoryRegistry::SetValue(const std::string& path, const RegValue& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  bool changed = false;
  return tree_.SetValue(path, value, changed);
}

bool MemoryRegistry::CreateKey(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  bool changed = false;
  return tree_.CreateKey(path, changed);
}

bool MemoryRegistry::DeleteTree(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  bool changed = false;
  return tree_.DeleteTree(path, changed);
}

bool MemoryRegistry::DeleteValue(const std::string& path, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  bool changed = false;
  return tree_.DeleteValue(path, name, changed);
}

void MemoryRegistry::SetString(const std::string& path, const std::string& name,
                               const std::string& utf8) {
  std::lock_guard<std::mutex> lock(mutex_);
  platform::regtree::Key* key = tree_.Create(path);
  if (key != nullptr) key->PutValue(RegValue::FromString(name, utf8));
}

void MemoryRegistry::FailSubkeyName(const std::string& path, uint32_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  failing_.emplace(FoldPath(path), index);
}

bool MemoryRegistry::SubkeyNameFails(const std::string& path, uint32_t index) const {
  return failing_.count({FoldPath(path), index}) != 0;
}

std::string MemoryRegistry::Dump() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string out;
  for (const auto& root : tree_.Roots()) {
    if (root->subkeys().empty() && root->values().empty()) continue;
    DumpKey(*root, root->name, out);
  }
  return out;
}

}  // namespace kirnow::fakes
