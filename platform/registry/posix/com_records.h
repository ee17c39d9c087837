// The COM arbiter's records in the registry store (platform/device/posix/com_arbiter.h): read out
// of the store's tree as plain records, and its plan written back.
//
//   HKLM\SOFTWARE\Kirnow\COM Ports            "USB\Vid_vvvv&Pid_pppp\<instance>" = "COMn"
//   HKLM\SOFTWARE\Kirnow\COM Ports\Last Seen  the same names = dword: when the device was last
//                                             seen plugged in, as a count that only grows
#pragma once

#include "platform/device/posix/com_arbiter.h"
#include "platform/registry/reg_tree.h"

namespace kirnow::platform {

inline constexpr const char* kRememberedPortsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kirnow\\COM Ports";
inline constexpr const char* kLastSeenKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kirnow\\COM Ports\\Last Seen";

// What the store says of COM numbers: its SERIALCOMM entries, the PortName of its USB records,
// and the arbiter's own numbers and sightings.
ComRecords ReadComRecords(const regtree::Tree& store);

// Writes the plan into the store; true when the tree changed. A number that the store
// remembers by hand for another device is not written (the memory keeps it).
bool SaveComPlan(const ComPlan& plan, regtree::Tree& store);

}  // namespace kirnow::platform
