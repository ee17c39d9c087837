// The Linux system registry: the registry store, and below its own keys a live, read-only view of
// the machine's USB serial devices in the places where Windows keeps them (com_names.h): one
// USB instance and one SERIALCOMM entry per device.
//
// The instance is named as usb_serial_scan.h says; the path is the device's /dev/serial/by-id
// link where udev made one, else its tty. Numbers come from the COM arbiter (com_arbiter.h, of
// the device room; the store's part of its records is com_records.h) and
// new ones are remembered in the store in the same step as they are chosen, under the store's
// lock; when the store can't take them (it may not be written, or another process holds its
// lock past a brief wait), the view remembers them instead, for as long as it lives.
//
// The view is built afresh from sysfs at every KeyExists, SubkeyCount, ValueCount and GetValue
// under those two keys (or above them); SubkeyName and ValueAt answer from the view the last of
// those built. While a walk is open (Registry::BeginWalk) no read builds it afresh: every one
// answers from the view there is, and only a write under those keys has the next read build a
// new one. The store's keys and values come first and win over the view's of the same name;
// a store entry for a device's path stands in for the device's own SERIALCOMM entry. Writes go to
// the store only: a key that only the view has can't be written or deleted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/device/posix/com_arbiter.h"
#include "platform/device/posix/usb_serial_scan.h"
#include "platform/device/usb_ids.h"
#include "platform/registry/posix/com_records.h"
#include "platform/registry/posix/reg_store.h"
#include "platform/sync/thread_safety.h"

namespace kirnow::platform {

class LiveUsbRegistry : public Registry {
 public:
  // sysfsRoot stands for /sys and devRoot for /dev; the devices of `servedFirst` get their COM
  // numbers first.
  LiveUsbRegistry(std::unique_ptr<RegistryStore> store, std::string sysfsRoot, std::string devRoot,
                  UsbIds servedFirst);

  bool KeyExists(const std::string& path) override;
  std::optional<uint32_t> SubkeyCount(const std::string& path) override;
  std::optional<uint32_t> ValueCount(const std::string& path) override;
  std::optional<std::string> SubkeyName(const std::string& path, uint32_t index) override;
  std::optional<RegValue> ValueAt(const std::string& path, uint32_t index) override;
  std::optional<RegValue> GetValue(const std::string& path, const std::string& name) override;
  bool SetValue(const std::string& path, const RegValue& value) override;
  bool CreateKey(const std::string& path) override;
  bool DeleteTree(const std::string& path) override;
  bool DeleteValue(const std::string& path, const std::string& name) override;
  void BeginWalk() override;
  void EndWalk() override;

  struct Port {
    UsbSerialDevice device;
    int32_t number = 0;
  };
  // One enumeration: the USB serial devices present now that have a COM number, in the order
  // of their numbers (those of the walk's view while a walk is open).
  std::vector<Port> Ports();

  RegistryStore& store() { return *store_; }

 private:
  // Whether the path is at, above or below one of the view's two keys.
  static bool InView(const std::string& path);
  // Scans sysfs, numbers the devices and merges the store's part of the view's keys with them.
  void RefreshLocked() KIRNOW_REQUIRES(mutex_);
  // The view, built afresh when `fresh` and no walk holds it, or when there is none.
  regtree::Tree& ViewLocked(bool fresh) KIRNOW_REQUIRES(mutex_);
  // After a write to the store: a view it may have changed is built again. Returns ok.
  bool Written(const std::string& path, bool ok);

  const std::unique_ptr<RegistryStore> store_;
  const std::string sysfsRoot_, devRoot_;
  const UsbIds servedFirst_;
  // Held for each operation; the store's own lock is taken under it, never the other way.
  Mutex mutex_;
  // The last view built; null when a write made it stale.
  std::unique_ptr<regtree::Tree> view_ KIRNOW_GUARDED_BY(mutex_);
  std::vector<Port> ports_ KIRNOW_GUARDED_BY(mutex_);  // the devices of that view
  int walks_ KIRNOW_GUARDED_BY(mutex_) = 0;            // walks open now
  // The numbers and sightings the store did not take.
  ComMemory memory_ KIRNOW_GUARDED_BY(mutex_);
};

}  // namespace kirnow::platform
