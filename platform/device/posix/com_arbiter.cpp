// Gives each USB serial device its COM number from what the registry store and this process
// remember. See com_arbiter.h.
#include "platform/device/posix/com_arbiter.h"

#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <optional>
#include <set>

namespace kirnow::platform {
namespace {

using text::FoldedAscii;

// The file a path leads to, links followed; empty when it leads nowhere.
std::string Resolved(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : std::string();
}

// "Vid_vvvv&Pid_pppp\<instance>" in folded case, the key of a device's USB record.
std::string RecordKey(std::string_view ids, std::string_view instance) {
  return FoldedAscii(std::string(ids) + "\\" + std::string(instance));
}

// The entry of that id in `entries` (the names compare case-insensitively); null when none.
template <class Entries>
auto FindById(const Entries& entries, std::string_view id) -> decltype(&entries.front()) {
  for (const auto& e : entries) {
    if (text::EqualsNoCase(e.name, id)) return &e;
  }
  return nullptr;
}

// What the store says by hand of paths and USB instances.
struct HandEntries {
  std::vector<std::pair<std::string, int32_t>> paths;  // SERIALCOMM: path -> number
  std::map<std::string, int32_t> nodes;                // the files those paths lead to
  std::map<std::string, int32_t> records;              // RecordKey -> PortName's number
  std::set<int32_t> numbers;                           // every number of these

  explicit HandEntries(const ComRecords& store) {
    for (const ComRecords::Numbered& e : store.serialComm) {
      numbers.insert(e.number);
      paths.emplace_back(e.name, e.number);
      const std::string node = Resolved(e.name);
      if (!node.empty()) nodes.emplace(node, e.number);
    }
    for (const ComRecords::Numbered& e : store.usbRecords) {
      numbers.insert(e.number);
      records.emplace(FoldedAscii(e.name), e.number);
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

void ComMemory::Settle(const ComRecords& store) {
  for (auto it = numbers_.begin(); it != numbers_.end();) {
    const ComRecords::Numbered* held = FindById(store.remembered, it->second.id);
    const bool same = held != nullptr && static_cast<uint32_t>(held->number) == it->second.value;
    it = same ? numbers_.erase(it) : std::next(it);
  }
  for (auto it = seen_.begin(); it != seen_.end();) {
    const ComEntry* held = nullptr;
    for (const ComEntry& e : store.lastSeen) {
      if (text::EqualsNoCase(e.id, it->second.id)) {
        held = &e;
        break;
      }
    }
    it = held != nullptr && held->value == it->second.value ? seen_.erase(it) : std::next(it);
  }
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
Sightings SightingsOf(const ComRecords& store, const ComMemory& memory) {
  Sightings seen = memory.seen();
  for (const ComEntry& e : store.lastSeen) {
    if (seen.count(FoldedAscii(e.id)) == 0) seen[FoldedAscii(e.id)] = e;
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

ComPlan PlanComNumbers(const ComRecords& store, const ComMemory& memory,
                       const std::vector<UsbSerialDevice>& devices, const UsbIds& servedFirst) {
  const HandEntries hand(store);
  Remembered remembered(hand.numbers);
  for (const auto& [key, e] : memory.numbers()) {
    remembered.Hold(e.id, static_cast<int32_t>(e.value), true);
  }
  for (const ComRecords::Numbered& e : store.remembered) remembered.Hold(e.name, e.number, false);
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
    return servedFirst.Names(devices[i].vid, devices[i].pid);
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

}  // namespace kirnow::platform
