// The COM arbiter's records in the registry store. See com_records.h.
#include "platform/registry/posix/com_records.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/registry/com_names.h"

namespace kirnow::platform {
namespace {

std::optional<int32_t> ComNumberOf(const RegValue& value) {
  const std::optional<std::string> data = value.AsString();
  return data ? comnames::ParseComName(*data) : std::nullopt;
}

// The USB records' PortName numbers, as "Vid_vvvv&Pid_pppp\<instance>".
void ReadUsbRecords(const regtree::Tree& store, std::vector<ComRecords::Numbered>& out) {
  const regtree::Key* usb = store.Find(comnames::kUsbEnumKey);
  if (usb == nullptr) return;
  for (const auto& ids : usb->subkeys()) {
    for (const auto& instance : ids->subkeys()) {
      const regtree::Key* params = instance->FindSubkey(comnames::kDeviceParameters);
      const RegValue* name = params != nullptr ? params->FindValue(comnames::kPortName) : nullptr;
      const auto n = name != nullptr ? ComNumberOf(*name) : std::nullopt;
      if (n) out.push_back({ids->name + "\\" + instance->name, *n});
    }
  }
}

}  // namespace

ComRecords ReadComRecords(const regtree::Tree& store) {
  ComRecords records;
  if (const regtree::Key* serialComm = store.Find(comnames::kSerialCommKey)) {
    for (const RegValue& v : serialComm->values()) {
      const auto n = ComNumberOf(v);
      if (n && !v.name.empty()) records.serialComm.push_back({v.name, *n});
    }
  }
  ReadUsbRecords(store, records.usbRecords);
  if (const regtree::Key* remembered = store.Find(kRememberedPortsKey)) {
    for (const RegValue& v : remembered->values()) {
      if (const auto n = ComNumberOf(v)) records.remembered.push_back({v.name, *n});
    }
  }
  if (const regtree::Key* seen = store.Find(kLastSeenKey)) {
    for (const RegValue& v : seen->values()) {
      if (const auto count = v.AsDword()) records.lastSeen.push_back({v.name, *count});
    }
  }
  return records;
}

bool SaveComPlan(const ComPlan& plan, regtree::Tree& store) {
  bool changed = false;
  auto drop = [&](const std::string& id) {
    bool gone = false;
    store.DeleteValue(kRememberedPortsKey, id, gone);
    changed = changed || gone;
    store.DeleteValue(kLastSeenKey, id, gone);
    changed = changed || gone;
  };
  for (const std::string& id : plan.forget) drop(id);
  for (const ComPlan::Entry& e : plan.remember) {
    regtree::Key* ports = store.Create(kRememberedPortsKey);
    if (ports == nullptr) return changed;
    // Another device that the store remembers with this number: the arbiter's own is dropped
    // (this process gave the number first); one written by hand stays, and so does the number
    // in this process's memory only.
    const regtree::Key* seenKey = store.Find(kLastSeenKey);
    std::vector<std::string> others;
    bool byHand = false;
    for (const RegValue& v : ports->values()) {
      if (regtree::NameEquals(v.name, e.id) || ComNumberOf(v) != static_cast<int32_t>(e.value)) {
        continue;
      }
      others.push_back(v.name);
      byHand = byHand || seenKey == nullptr || seenKey->FindValue(v.name) == nullptr;
    }
    if (byHand) continue;
    for (const std::string& other : others) drop(other);
    const std::string com = comnames::ComName(static_cast<int32_t>(e.value));
    const RegValue* now = ports->FindValue(e.id);
    if (now == nullptr || now->AsString() != com) {
      ports->PutValue(RegValue::FromString(e.id, com));
      changed = true;
    }
  }
  for (const ComPlan::Entry& e : plan.seen) {
    regtree::Key* seenKey = store.Create(kLastSeenKey);
    if (seenKey == nullptr) return changed;
    const RegValue* now = seenKey->FindValue(e.id);
    if (now == nullptr || now->AsDword() != e.value) {
      seenKey->PutValue(RegValue::FromDword(e.id, e.value));
      changed = true;
    }
  }
  return changed;
}

}  // namespace kirnow::platform
