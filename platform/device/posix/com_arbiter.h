// COM numbers for the USB serial devices, kept as Windows' port arbiter keeps them: a device
// keeps its number across replugs and restarts because the number is remembered in the
// registry store, and whatever the store itself says about a device wins over what would be
// remembered or assigned. Only the numbers OpenService accepts are handed out (comnames::
// kFirstCom to kLastCom); when none is free, the number of the device absent longest is given
// again, never that of a device plugged in now nor one written by hand. The devices of the ids
// the caller names are served first. A number given to one device is never given to another
// while it is remembered: in the store, or, for what the store could not take (it may not be
// written, or its lock was held), in the process's memory (ComMemory).
//
// The arbiter reads the store as plain records (ComRecords), which the registry reads out of
// it and into which it writes the plan back (platform/registry/posix/com_records.h). The store
// keeps, beside the integrator's pinned numbers, the arbiter's own: under "COM Ports" the
// number of each device id ("USB\Vid_vvvv&Pid_pppp\<instance>" = "COMn"), under "Last Seen"
// when the device was last seen plugged in, as a count that only grows. A remembered number
// without a "Last Seen" entry was written by hand (or by a build from before these entries) and
// is never given to another device.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/device/posix/usb_serial_scan.h"
#include "platform/device/usb_ids.h"

namespace kirnow::platform {

// "USB\Vid_vvvv&Pid_pppp\<instance>", the name under which the device's number is remembered.
std::string UsbDeviceId(const UsbSerialDevice& device);

struct ComAssignment {
  int32_t number = 0;  // 0: no number could be given
  // The store's own SERIALCOMM entry names this device's path (or a path to the same node):
  // that entry gives the number and stands in for the device's own entry.
  bool mappedByStore = false;
};

// A device id (as UsbDeviceId makes it) with a COM number or a sighting count.
struct ComEntry {
  std::string id;
  uint32_t value = 0;
};

// What the store says of COM numbers, each list in the store's order. Only well-formed entries
// are here: a COM name that ParseComName takes, a sighting that is a dword.
struct ComRecords {
  struct Numbered {
    std::string name;
    int32_t number = 0;
  };
  std::vector<Numbered> serialComm;  // SERIALCOMM: a device path (never empty) and its number
  std::vector<Numbered> usbRecords;  // "Vid_vvvv&Pid_pppp\<instance>": its PortName's number
  std::vector<Numbered> remembered;  // the arbiter's "COM Ports": a device id and its number
  std::vector<ComEntry> lastSeen;    // the arbiter's "Last Seen": a device id and its count
};

// What one round decided beyond what the store holds: numbers to remember, devices whose
// number went to another, sightings.
struct ComPlan {
  using Entry = ComEntry;
  std::vector<ComAssignment> numbers;  // one per device, in the order given
  std::vector<Entry> remember;         // value: the COM number
  std::vector<std::string> forget;
  std::vector<Entry> seen;    // value: the sighting count
  bool givesNumbers = false;  // some number was handed out in this round
  std::vector<size_t> given;  // the devices (by their index) that got a number in this round

  bool Changes() const { return !remember.empty() || !forget.empty() || !seen.empty(); }
};

// What a process remembers of the plans the store did not take: the registry view keeps one
// for as long as it lives, which is as long as the library is loaded.
class ComMemory {
 public:
  // Forgets what the store holds now.
  void Settle(const ComRecords& store);
  // Keeps what the plan has beyond the store (everything it remembers and every sighting).
  void Take(const ComPlan& plan);

  const std::map<std::string, ComPlan::Entry>& numbers() const { return numbers_; }
  const std::map<std::string, ComPlan::Entry>& seen() const { return seen_; }

 private:
  // By the device id in folded case.
  std::map<std::string, ComPlan::Entry> numbers_;
  std::map<std::string, ComPlan::Entry> seen_;
};

// The numbers of the devices present now (in the order given). Where the store says something
// of a device, it wins, in this order: a SERIALCOMM entry for its path, the PortName of its USB
// record, its remembered number (this process's memory first). Every other device, those
// of `servedFirst` first, gets the lowest number that no entry and no remembered number holds,
// or else the number of the device absent longest.
ComPlan PlanComNumbers(const ComRecords& store, const ComMemory& memory,
                       const std::vector<UsbSerialDevice>& devices, const UsbIds& servedFirst);

}  // namespace kirnow::platform
