// Gives each USB serial device its COM number from what the registry store and this process
// remember. See com_arbiter.h.
#include "platform/registry/posix/com_arbiter.h"

#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <optional>
#include <set>

#include "platform/registry/com_names.h"

namespace kirnow::platform {
namespace {

using text::FoldedAscii;

std::optional<int32_t> ComNumberOf(const RegValue& value) {
  const std::optional<std::string> data = value.AsString();
  return data ? comnames::ParseComName(*data) : std::nullopt;
}

// The file a path leads to, links followed; empty when it leads nowhere.
std::string Resolved(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : std::string();
}

// "Vid_vvvv&Pid_pppp\<instance>" in folded case, the key of a device's USB record.
std::string RecordKey(std::string_view ids, std::string_view instance) {
  return FoldedAscii(std::string(ids) + "\\" + std::string(instance));
}

// What the store says by hand of paths and USB instances.
struct HandEntries {
  std::vector<std::pair<std::string, int32_t>> paths;  // SERIALCOMM: path -> number
  std::map<std::string, int32_t> nodes;                // the files those paths lead to
  std::map<std::string, int32_t> records;              // RecordKey -> PortName's number
  std::set<int32_t> numbers;                           // every number of these

  explicit HandEntries(const regtree::Tree& store) {
    if (const regtree::Key* serialComm = store.Find(comnames::kSerialCommKey)) {
      for (const RegValue& v : serialComm->values()) {
        const auto n = ComNumberOf(v);
        if (!n || v.name.empty()) continue;
        numbers.insert(*n);
        paths.emplace_back(v.name, *n);
        const std::string node = Resolved(v.name);
        if (!node.empty()) nodes.emplace(node, *n);
      }
    }
    if (const regtree::Key* usb = store.Find(comnames::kUsbEnumKey)) {
      for (const auto& ids : usb->subkeys()) {
        for (const auto& instance : ids->subkeys()) {
          const regtree::Key* params = instance->FindSubkey(comnames::kDeviceParameters);
          const RegValue* name =
              params != nullptr ? params->FindValue(comnames::kPortName) : nullptr;
          const auto n = name != nullptr ? ComNumberOf(*name) : std::nullopt;
          if (!n) continue;
          numbers.insert(*n);
          records.emplace(RecordKey(ids->name, instance->name), *n);
        }
      }
    }
  }

  // The number the store gives the device by hand; 0 when none.
  int32_t Of(const UsbSerialDevice& d, bool& byPath) const {
    byPath = true;
    for (const auto& [path, n] : paths) {
      if (path == d.path || path == d.ttyPath) return n;
    }
    if (!nodes.empty()) {
      const auto node = nodes.find(Resolved(d.ttyPath));
      if (node != nodes.end()) return node->second;
    }
    byPath = false;
    const auto record = records.find(RecordKey(comnames::UsbIdsKeyName(d.vid, d.pid), d.instance));
    return record != records.end() ? record->second : 0;
  }
};

// The remembered numbers in force: this process's memory first, then the store's; a number
// that a hand entry or an earlier remembered one holds is void for the later.
struct Remembered {
  struct Holder {
    std::string id;
    int32_t number = 0;
    bool unsaved = false;  // the store does not hold it (yet)
  };
  std::map<std::string, Holder> byDevice;  // by folded device id
  std::map<int32_t, std::string> byNumber;
  const std::set<int32_t>& hand;

  explicit Remembered(const std::set<int32_t>& handNumbers) : hand(handNumbers) {}

  bool Taken(int32_t n) const { return hand.count(n) != 0 || byNumber.count(n) != 0; }
  void Hold(const std::string& id, int32_t n, bool unsaved) {
    const std::string key = FoldedAscii(id);
    if (byDevice.count(key) != 0 || Taken(n)) return;
    byDevice[key] = Holder{id, n, unsaved};
    byNumber[n] = key;
  }
  void Release(const std::string& key) {
    byNumber.erase(byDevice.at(key).number);
    byDevice.erase(key);
  }
};

}  // namespace

std::string UsbDeviceId(const UsbSerialDevice& device) {
  return "USB\\" + comnames::UsbIdsKeyName(device.vid, device.pid) + "\\" + device.instance;
}

void ComMemory::Settle(const regtree::Tree& store) {
  auto drop = [&](std::map<std::string, ComPlan::Entry>& entries, const char* key, bool isNumber) {
    const regtree::Key* k = store.Find(key);
    if (k == nullptr) return;
    for (auto it = entries.begin(); it != entries.end();) {
      const RegValue* v = k->FindValue(it->second.id);
      const std::optional<uint32_t> held =
          v == nullptr ? std::nullopt
          : isNumber   ? std::optional<uint32_t>(ComNumberOf(*v).value_or(0))
                       : v->AsDword();
      it = held == it->second.value ? entries.erase(it) : std::next(it);
    }
  };
  drop(numbers_, kRememberedPortsKey, true);
  drop(seen_, kLastSeenKey, false);
}

void ComMemory::Take(const ComPlan& plan) {
  numbers_.clear();
  seen_.clear();
  for (const auto& e : plan.remember) numbers_[FoldedAscii(e.id)] = e;
  for (const auto& e : plan.seen) seen_[FoldedAscii(e.id)] = e;
}

namespace {

using Sightings = std::map<std::string, ComPlan::Entry>;  // by folded device id

// The sightings in force: this process's, then the store's.
Sightings SightingsOf(const regtree::Tree& store, const ComMemory& memory) {
  Sightings seen = memory.seen();
  if (const regtree::Key* seenKey = store.Find(kLastSeenKey)) {
    for (const RegValue& v : seenKey->values()) {
      const auto count = v.AsDword();
      if (count && seen.count(FoldedAscii(v.name)) == 0) {
        seen[FoldedAscii(v.name)] = ComPlan::Entry{v.name, *count};
      }
    }
  }
  return seen;
}

// Takes the number of the device absent longest among those the arbiter numbered (the ones
// with a sighting) and returns it; 0 when there is none.
int32_t Reuse(Remembered& remembered, Sightings& seen, const std::set<std::string>& present,
              ComPlan& plan) {
  const ComPlan::Entry* oldest = nullptr;
  for (const auto& [key, e] : seen) {
    if (present.count(key) != 0 || remembered.byDevice.count(key) == 0) continue;
    if (oldest == nullptr || e.value < oldest->value) oldest = &e;
  }
  if (oldest == nullptr) return 0;
  const std::string key = FoldedAscii(oldest->id);
  const Remembered::Holder holder = remembered.byDevice.at(key);
  plan.forget.push_back(holder.id);
  remembered.Release(key);
  seen.erase(key);
  return holder.number;
}

// The arbiter's devices present now (`ids`) must be seen after every absent one; when they are
// not yet, they are seen again, in the order given. The plan gets every sighting the store
// does not hold.
void SeeAgain(const std::vector<std::string>& ids, const Sightings& seen,
              const std::set<std::string>& present, const ComMemory& memory, ComPlan& plan) {
  uint32_t last = 0, lastAbsent = 0;
  for (const auto& [key, e] : seen) {
    last = std::max(last, e.value);
    if (present.count(key) == 0) lastAbsent = std::max(lastAbsent, e.value);
  }
  const bool stale = std::any_of(ids.begin(), ids.end(), [&](const std::string& id) {
    const auto s = seen.find(FoldedAscii(id));
    return s == seen.end() || s->second.value <= lastAbsent;
  });
  Sightings sightings = memory.seen();
  for (const std::string& id : plan.forget) sightings.erase(FoldedAscii(id));
  if (stale) {
    for (const std::string& id : ids) sightings[FoldedAscii(id)] = ComPlan::Entry{id, ++last};
  }
  for (const auto& [key, e] : sightings) plan.seen.push_back(e);
}

}  // namespace

ComPlan PlanComNumbers(const regtree::Tree& store, const ComMemory& memory,
                       const std::vector<UsbSerialDevice>& devices) {
  const HandEntries hand(store);
  Remembered remembered(hand.numbers);
  for (const auto& [key, e] : memory.numbers()) {
    remembered.Hold(e.id, static_cast<int32_t>(e.value), true);
  }
  if (const regtree::Key* rememberedKey = store.Find(kRememberedPortsKey)) {
    for (const RegValue& v : rememberedKey->values()) {
      if (const auto n = ComNumberOf(v)) remembered.Hold(v.name, *n, false);
    }
  }
  Sightings seen = SightingsOf(store, memory);

  ComPlan plan;
  plan.numbers.resize(devices.size());
  std::set<std::string> present;
  std::vector<size_t> unnumbered;
  std::vector<std::string> arbiters;  // ids of present devices with a number the arbiter gave
  for (size_t i = 0; i < devices.size(); ++i) {
    const UsbSerialDevice& d = devices[i];
    const std::string id = UsbDeviceId(d);
    present.insert(FoldedAscii(id));
    ComAssignment& a = plan.numbers[i];
    a.number = hand.Of(d, a.mappedByStore);
    if (a.number != 0) continue;
    const auto held = remembered.byDevice.find(FoldedAscii(id));
    if (held == remembered.byDevice.end()) {
      unnumbered.push_back(i);
      continue;
    }
    a.number = held->second.number;
    if (seen.count(FoldedAscii(id)) != 0) arbiters.push_back(id);
  }
  std::stable_partition(unnumbered.begin(), unnumbered.end(), [&](size_t i) {
    return comnames::IsDisplayIds(devices[i].vid, devices[i].pid);
  });
  int32_t next = comnames::kFirstCom;
  for (size_t i : unnumbered) {
    while (next <= comnames::kLastCom && remembered.Taken(next)) ++next;
    const int32_t n = next <= comnames::kLastCom ? next++ : Reuse(remembered, seen, present, plan);
    if (n == 0) continue;  // nothing to give: the device has no number
    const std::string id = UsbDeviceId(devices[i]);
    plan.numbers[i].number = n;
    remembered.Hold(id, n, true);
    plan.givesNumbers = true;
    plan.given.push_back(i);
    arbiters.push_back(id);
  }
  // What only this process remembers goes to the store when it can.
  for (const auto& [key, h] : remembered.byDevice) {
    if (h.unsaved) plan.remember.push_back({h.id, static_cast<uint32_t>(h.number)});
  }
  SeeAgain(arbiters, seen, present, memory, plan);
  return plan;
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
