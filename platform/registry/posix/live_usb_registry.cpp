// The registry store with the live view of the USB serial devices beneath it. See
// live_usb_registry.h.
#include "platform/registry/posix/live_usb_registry.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

#include "platform/registry/com_names.h"
#include "platform/registry/com_number_listener.h"
#include "platform/registry/posix/com_records.h"

namespace kirnow::platform {
namespace {

// The view's two keys: the USB records, then SERIALCOMM (both under HKEY_LOCAL_MACHINE).
const std::array<regtree::Path, 2>& ViewKeys() {
  static const std::array<regtree::Path, 2> keys = {*regtree::ParsePath(comnames::kUsbEnumKey),
                                                    *regtree::ParsePath(comnames::kSerialCommKey)};
  return keys;
}

void CopyKey(const regtree::Key& from, regtree::Key& to) {
  for (const RegValue& v : from.values()) to.PutValue(v);
  for (const auto& sub : from.subkeys()) CopyKey(*sub, to.AddSubkey(sub->name));
}

// The store's part of the view: each of the two keys whole, and of the keys above them their
// values and the names of their subkeys (a walk from the root sees the store's other keys too).
void TakeStorePart(const regtree::Tree& store, regtree::Tree& view) {
  for (const regtree::Path& key : ViewKeys()) {
    const std::vector<std::string>& parts = key.parts;
    const regtree::Key* from = store.Find(key.root);
    regtree::Key* to = view.Root(key.root);
    for (size_t i = 0; from != nullptr; ++i) {
      if (i == parts.size()) {
        CopyKey(*from, *to);
        break;
      }
      for (const RegValue& v : from->values()) to->PutValue(v);
      for (const auto& sub : from->subkeys()) to->AddSubkey(sub->name);
      from = from->FindSubkey(parts[i]);
      if (from != nullptr) to = &to->AddSubkey(from->name);
    }
  }
}

regtree::Key& Descend(regtree::Tree& view, const regtree::Path& key) {
  regtree::Key* k = view.Root(key.root);
  for (const std::string& part : key.parts) k = &k->AddSubkey(part);
  return *k;
}

// The devices' keys and values, where the store has none of the same name.
void AddDevices(regtree::Tree& view, const std::vector<UsbSerialDevice>& devices,
                const std::vector<ComAssignment>& numbers) {
  for (size_t i = 0; i < devices.size(); ++i) {
    const UsbSerialDevice& d = devices[i];
    const ComAssignment& a = numbers[i];
    if (a.number == 0) continue;
    const std::string com = comnames::ComName(a.number);
    regtree::Key& params = Descend(view, ViewKeys()[0])
                               .AddSubkey(comnames::UsbIdsKeyName(d.vid, d.pid))
                               .AddSubkey(d.instance)
                               .AddSubkey(comnames::kDeviceParameters);
    if (params.FindValue(comnames::kPortName) == nullptr) {
      params.PutValue(RegValue::FromString(std::string(comnames::kPortName), com));
    }
    if (a.mappedByStore) continue;
    regtree::Key& serialComm = Descend(view, ViewKeys()[1]);
    if (serialComm.FindValue(d.path) == nullptr) {
      serialComm.PutValue(RegValue::FromString(d.path, com));
    }
  }
}

// One refresh of the view: the devices scanned, their numbers as planned, and the view built.
struct Round {
  Round(std::vector<UsbSerialDevice> scanned, const UsbIds& first, ComMemory& kept)
      : devices(std::move(scanned)), servedFirst(first), memory(kept) {}

  // Plans the numbers from what `store` and this process remember.
  void Plan(const regtree::Tree& store) {
    const ComRecords records = ReadComRecords(store);
    memory.Settle(records);
    plan = PlanComNumbers(records, memory, devices, servedFirst);
  }
  // This process keeps what the plan has beyond the store.
  void Remember() { memory.Take(plan); }
  void Build(const regtree::Tree& store) {
    view = std::make_unique<regtree::Tree>();
    TakeStorePart(store, *view);
    AddDevices(*view, devices, plan.numbers);
  }

  const std::vector<UsbSerialDevice> devices;
  const UsbIds& servedFirst;
  ComMemory& memory;
  ComPlan plan;
  std::unique_ptr<regtree::Tree> view;  // null until a step builds it
};

// The steps of a refresh, tried in this order until one builds the view.
//
// First a read: most walks find every device numbered and seen already, and then need not lock
// the store's file. False when the store can't be read.
bool ViewFromRead(RegistryStore& store, Round& round) {
  return store.Read([&](const regtree::Tree& tree) {
    round.Plan(tree);
    if (!round.plan.Changes()) round.Build(tree);
  });
}

// Then, for a round that changes something, the plan again under the store's lock, saved, so
// that two programs never give one number twice. Only a round that hands out numbers waits for
// the lock at all, and then briefly. Builds nothing when the store may not be changed now.
void ViewFromSave(RegistryStore& store, Round& round) {
  store.Modify(
      [&](regtree::Tree& tree, bool& changed) {
        round.Plan(tree);
        round.Remember();
        changed = SaveComPlan(round.plan, tree);
        round.Build(tree);
        return true;
      },
      round.plan.givesNumbers ? RegistryStore::LockWait::kBrief : RegistryStore::LockWait::kNone);
}

// Last, when the store can't take this round's changes (it may not be written, its lock is
// held, or it can't be read at all): this process remembers them.
void ViewFromMemory(RegistryStore& store, Round& round) {
  const bool read = store.Read([&](const regtree::Tree& tree) {
    round.Plan(tree);
    round.Remember();
    round.Build(tree);
  });
  if (!read) {
    const regtree::Tree empty;
    round.Plan(empty);
    round.Remember();
    round.Build(empty);
  }
}

}  // namespace

LiveUsbRegistry::LiveUsbRegistry(std::unique_ptr<RegistryStore> store, std::string sysfsRoot,
                                 std::string devRoot, UsbIds servedFirst)
    : store_(std::move(store)),
      sysfsRoot_(std::move(sysfsRoot)),
      devRoot_(std::move(devRoot)),
      servedFirst_(std::move(servedFirst)) {}

bool LiveUsbRegistry::InView(const std::string& path) {
  const auto p = regtree::ParsePath(path);
  if (!p) return false;
  for (const regtree::Path& key : ViewKeys()) {
    const std::vector<std::string>& parts = key.parts;
    if (p->root != key.root) continue;
    const size_t n = std::min(parts.size(), p->parts.size());
    bool along = true;
    for (size_t i = 0; i < n && along; ++i) along = regtree::NameEquals(parts[i], p->parts[i]);
    if (along) return true;
  }
  return false;
}

void LiveUsbRegistry::RefreshLocked() {
  Round round(ScanUsbSerialDevices(sysfsRoot_, devRoot_), servedFirst_, memory_);
  const bool readable = ViewFromRead(*store_, round);
  if (!round.view && readable && store_->MayWrite()) ViewFromSave(*store_, round);
  if (!round.view) ViewFromMemory(*store_, round);

  ports_.clear();
  const std::vector<UsbSerialDevice>& devices = round.devices;
  const std::vector<ComAssignment>& numbers = round.plan.numbers;
  for (size_t i = 0; i < devices.size(); ++i) {
    if (numbers[i].number != 0) ports_.push_back(Port{devices[i], numbers[i].number});
  }
  std::stable_sort(ports_.begin(), ports_.end(),
                   [](const Port& a, const Port& b) { return a.number < b.number; });
  for (size_t i : round.plan.given) {
    TellComNumberGiven({UsbDeviceId(devices[i]), devices[i].path, numbers[i].number});
  }
  view_ = std::move(round.view);
}

regtree::Tree& LiveUsbRegistry::ViewLocked(bool fresh) {
  if ((fresh && walks_ == 0) || !view_) RefreshLocked();
  return *view_;
}

void LiveUsbRegistry::BeginWalk() {
  MutexHold lock(mutex_);
  ++walks_;
}

void LiveUsbRegistry::EndWalk() {
  MutexHold lock(mutex_);
  if (walks_ > 0) --walks_;
}

bool LiveUsbRegistry::KeyExists(const std::string& path) {
  if (!InView(path)) return store_->KeyExists(path);
  MutexHold lock(mutex_);
  return ViewLocked(true).KeyExists(path);
}

std::optional<uint32_t> LiveUsbRegistry::SubkeyCount(const std::string& path) {
  if (!InView(path)) return store_->SubkeyCount(path);
  MutexHold lock(mutex_);
  return ViewLocked(true).SubkeyCount(path);
}

std::optional<uint32_t> LiveUsbRegistry::ValueCount(const std::string& path) {
  if (!InView(path)) return store_->ValueCount(path);
  MutexHold lock(mutex_);
  return ViewLocked(true).ValueCount(path);
}

std::optional<std::string> LiveUsbRegistry::SubkeyName(const std::string& path, uint32_t index) {
  if (!InView(path)) return store_->SubkeyName(path, index);
  MutexHold lock(mutex_);
  return ViewLocked(false).SubkeyName(path, index);
}

std::optional<RegValue> LiveUsbRegistry::ValueAt(const std::string& path, uint32_t index) {
  if (!InView(path)) return store_->ValueAt(path, index);
  MutexHold lock(mutex_);
  return ViewLocked(false).ValueAt(path, index);
}

std::optional<RegValue> LiveUsbRegistry::GetValue(const std::string& path,
                                                  const std::string& name) {
  if (!InView(path)) return store_->GetValue(path, name);
  MutexHold lock(mutex_);
  return ViewLocked(true).GetValue(path, name);
}

bool LiveUsbRegistry::Written(const std::string& path, bool ok) {
  if (InView(path)) {
    MutexHold lock(mutex_);
    view_.reset();
  }
  return ok;
}

bool LiveUsbRegistry::SetValue(const std::string& path, const RegValue& value) {
  return Written(path, store_->SetValue(path, value));
}

bool LiveUsbRegistry::CreateKey(const std::string& path) {
  return Written(path, store_->CreateKey(path));
}

bool LiveUsbRegistry::DeleteTree(const std::string& path) {
  const bool ok = Written(path, store_->DeleteTree(path));
  // A device's own key stays while the device is plugged in.
  return ok && (!InView(path) || !KeyExists(path));
}

bool LiveUsbRegistry::DeleteValue(const std::string& path, const std::string& name) {
  return Written(path, store_->DeleteValue(path, name));
}

std::vector<LiveUsbRegistry::Port> LiveUsbRegistry::Ports() {
  MutexHold lock(mutex_);
  ViewLocked(true);
  return ports_;
}

std::unique_ptr<Registry> MakeSystemRegistry(const UsbIds& servedFirst) {
  return std::make_unique<LiveUsbRegistry>(std::make_unique<RegistryStore>(DefaultRegistryPath()),
                                           SysfsRoot(), DevRoot(), servedFirst);
}

}  // namespace kirnow::platform
