// Where Windows records a USB serial device and its COM port: the one home of these names for
// the session, the serial device, and on Linux the registry's live USB view. The COM names
// themselves are the device room's (platform/device/usb_ids.h).
//
//   HKLM\SYSTEM\CurrentControlSet\Enum\USB\Vid_vvvv&Pid_pppp\<instance>\Device Parameters
//       "PortName" = "COMn"
//   HKLM\HARDWARE\DEVICEMAP\SERIALCOMM
//       "<the device's path>" = "COMn"
#pragma once

#include <string>
#include <string_view>

#include "platform/device/usb_ids.h"

namespace kirnow::platform::comnames {

inline constexpr std::string_view kUsbEnumKey =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB";
inline constexpr std::string_view kSerialCommKey =
    "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
inline constexpr std::string_view kDeviceParameters = "Device Parameters";
inline constexpr std::string_view kPortName = "PortName";

// The key of the instances of one pair of ids: one subkey per instance.
inline std::string UsbInstancesKey(std::string_view vid, std::string_view pid) {
  return std::string(kUsbEnumKey) + "\\" + UsbIdsKeyName(vid, pid);
}

}  // namespace kirnow::platform::comnames
