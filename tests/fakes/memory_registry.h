// An in-memory registry for tests, with the same case rules and enumeration order as the
// registry store (subkeys in case-insensitive name order, values in creation order).
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "platform/registry/reg_tree.h"
#include "platform/registry/registry.h"

namespace kirnow::fakes {

class MemoryRegistry : public platform::Registry {
 public:
  bool KeyExists(const std::string& path) override;
  std::optional<uint32_t> SubkeyCount(const std::string& path) override;
  std::optional<uint32_t> ValueCount(const std::string& path) override;
  std::optional<std::string> SubkeyName(const std::string& path, uint32_t index) override;
  std::optional<platform::RegValue> ValueAt(const std::string& path, uint32_t index) override;
  std::optional<platform::RegValue> GetValue(const std::string& path,
                                             const std::string& name) override;
  bool SetValue(const std::string& path, const platform::RegValue& value) override;
  bool CreateKey(const std::string& path) override;
  bool DeleteTree(const std::string& path) override;
  bool DeleteValue(const std::string& path, const std::string& name) override;

  // Creates the key (and its parents) and sets a string value in it.
  void SetString(const std::string& path, const std::string& name, const std::string& utf8);
  // Makes SubkeyName(path, index) return nullopt (path compared case-insensitively).
  void FailSubkeyName(const std::string& path, uint32_t index);
  // The whole tree as text, one line per key ("[path]") and per value ("name=type:data"),
  // string data as UTF-8 and other data in hex.
  std::string Dump() const;

 private:
  bool SubkeyNameFails(const std::string& path, uint32_t index) const;

  mutable std::mutex mutex_;
  platform::regtree::Tree tree_;
  std::set<std::pair<std::string, uint32_t>> failing_;  // (canonical upper-case path, index)
};

}  // namespace kirnow::fakes
