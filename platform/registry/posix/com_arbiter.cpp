// Gives each USB serial device its COM number from what the registry store says. See
// com_arbiter.h.
#include "platform/registry/posix/com_arbiter.h"

#include <limits.h>
#include <stdlib.h>

#include <map>
#include <set>

namespace kirnow::platform {
namespace {

constexpr const char* kSerialCommKey = "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* kUsbEnumKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB";
constexpr int32_t kHighestCom = 256;

std::optional<int32_t> ComNumberOf(const RegValue& value) {
  const std::optional<std::string> data = value.AsString();
  return data ? ParseComName(*data) : std::nullopt;
}

// The file a path leads to, links followed; empty when it leads nowhere.
std::string Resolved(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : std::string();
}

std::string UsbKeyName(const UsbSerialDevice& d) { return "Vid_" + d.vid + "&Pid_" + d.pid; }

}  // namespace

std::string UsbDeviceId(const UsbSerialDevice& device) {
  return "USB\\" + UsbKeyName(device) + "\\" + device.instance;
}

std::optional<int32_t> ParseComName(std::string_view name) {
  if (name.size() < 4 || name.size() > 6 || name.substr(0, 3) != "COM" || name[3] == '0') {
    return std::nullopt;
  }
  int32_t n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n > kHighestCom) return std::nullopt;
  return n;
}

std::vector<ComAssignment> AssignComNumbers(const regtree::Tree& store,
                                            const std::vector<UsbSerialDevice>& devices) {
  std::set<int32_t> used;
  const regtree::Key* remembered = store.Find(kRememberedPortsKey);
  if (remembered != nullptr) {
    for (const RegValue& v : remembered->values) {
      if (const auto n = ComNumberOf(v)) used.insert(*n);
    }
  }
  // The store's own mappings: path -> number, and the nodes they lead to.
  std::vector<std::pair<std::string, int32_t>> mapped;
  std::map<std::string, int32_t> mappedNodes;
  if (const regtree::Key* serialComm = store.Find(kSerialCommKey)) {
    for (const RegValue& v : serialComm->values) {
      const auto n = ComNumberOf(v);
      if (!n || v.name.empty()) continue;
      used.insert(*n);
      mapped.emplace_back(v.name, *n);
      const std::string node = Resolved(v.name);
      if (!node.empty()) mappedNodes.emplace(node, *n);
    }
  }
  const regtree::Key* usb = store.Find(kUsbEnumKey);
  if (usb != nullptr) {
    for (const auto& ids : usb->subkeys) {
      for (const auto& instance : ids->subkeys) {
        const regtree::Key* params = instance->FindSubkey("Device Parameters");
        const RegValue* name = params != nullptr ? params->FindValue("PortName") : nullptr;
        if (name == nullptr) continue;
        if (const auto n = ComNumberOf(*name)) used.insert(*n);
      }
    }
  }

  std::vector<ComAssignment> numbers(devices.size());
  std::vector<size_t> unnumbered;
  for (size_t i = 0; i < devices.size(); ++i) {
    const UsbSerialDevice& d = devices[i];
    ComAssignment& a = numbers[i];
    for (const auto& [path, n] : mapped) {
      if (path == d.path || path == d.ttyPath) {
        a.number = n;
        break;
      }
    }
    if (a.number == 0 && !mappedNodes.empty()) {
      const auto node = mappedNodes.find(Resolved(d.ttyPath));
      if (node != mappedNodes.end()) a.number = node->second;
    }
    if (a.number != 0) {
      a.mappedByStore = true;
      continue;
    }
    if (usb != nullptr) {
      const regtree::Key* ids = usb->FindSubkey(UsbKeyName(d));
      const regtree::Key* instance = ids != nullptr ? ids->FindSubkey(d.instance) : nullptr;
      const regtree::Key* params =
          instance != nullptr ? instance->FindSubkey("Device Parameters") : nullptr;
      const RegValue* name = params != nullptr ? params->FindValue("PortName") : nullptr;
      if (name != nullptr) a.number = ComNumberOf(*name).value_or(0);
      if (a.number != 0) continue;
    }
    if (remembered != nullptr) {
      const RegValue* value = remembered->FindValue(UsbDeviceId(d));
      if (value != nullptr) a.number = ComNumberOf(*value).value_or(0);
      if (a.number != 0) continue;
    }
    unnumbered.push_back(i);
  }

  int32_t next = 1;
  for (size_t i : unnumbered) {
    while (used.count(next) != 0) ++next;
    if (next > kHighestCom) break;  // every number is taken: the device gets none
    numbers[i].number = next;
    numbers[i].held = false;
    used.insert(next);
  }
  return numbers;
}

bool RememberComNumbers(regtree::Tree& store, const std::vector<UsbSerialDevice>& devices,
                        const std::vector<ComAssignment>& numbers) {
  bool changed = false;
  for (size_t i = 0; i < devices.size() && i < numbers.size(); ++i) {
    if (numbers[i].held || numbers[i].number == 0) continue;
    regtree::Key* key = store.Create(kRememberedPortsKey);
    if (key == nullptr) return changed;
    key->PutValue(
        RegValue::FromString(UsbDeviceId(devices[i]), "COM" + std::to_string(numbers[i].number)));
    changed = true;
  }
  return changed;
}

}  // namespace kirnow::platform
