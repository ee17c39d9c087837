// COM numbers for the USB serial devices, kept as Windows' port arbiter keeps them: a device
// keeps its number across replugs and restarts because the number is remembered in the
// registry store, a new device gets the lowest number nothing else holds, and whatever the
// store itself says about a device wins over what would be remembered or assigned.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/posix/usb_serial_scan.h"
#include "platform/registry/reg_tree.h"

namespace kirnow::platform {

// The store's key of remembered numbers: value "USB\Vid_vvvv&Pid_pppp\<instance>" = "COMn".
// An integrator pins a device's number by writing its value here.
inline constexpr const char* kRememberedPortsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kirnow\\COM Ports";

struct ComAssignment {
  int32_t number = 0;
  // The store's own SERIALCOMM entry names this device's path (or a path to the same node):
  // that entry gives the number and stands in for the device's own entry.
  bool mappedByStore = false;
  // False for a number given now, which the store does not hold yet.
  bool held = true;
};

// "USB\Vid_vvvv&Pid_pppp\<instance>", the name under which the device's number is remembered.
std::string UsbDeviceId(const UsbSerialDevice& device);

// n for "COM<n>" with n from 1 to 256 written without leading zeros; nullopt otherwise.
std::optional<int32_t> ParseComName(std::string_view name);

// The number of each device (in the order given). Where the store says something of a device,
// it wins, in this order: a SERIALCOMM entry for its path, the PortName of its USB record, its
// remembered number. Every other device gets the lowest number that no entry of the store and
// no other device holds (held = false).
std::vector<ComAssignment> AssignComNumbers(const regtree::Tree& store,
                                            const std::vector<UsbSerialDevice>& devices);

// Writes the numbers given now into the remembered key; true when the tree changed.
bool RememberComNumbers(regtree::Tree& store, const std::vector<UsbSerialDevice>& devices,
                        const std::vector<ComAssignment>& numbers);

}  // namespace kirnow::platform
