// Where Windows records a USB serial device and its COM port, and the COM names themselves: the
// one home of these names and rules for the session, the serial device, and on Linux the
// registry's live USB view and its number arbiter.
//
//   HKLM\SYSTEM\CurrentControlSet\Enum\USB\Vid_vvvv&Pid_pppp\<instance>\Device Parameters
//       "PortName" = "COMn"
//   HKLM\HARDWARE\DEVICEMAP\SERIALCOMM
//       "<the device's path>" = "COMn"
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kirnow_config.h"
#include "platform/text/name_compare.h"

namespace kirnow::platform::comnames {

inline constexpr std::string_view kUsbEnumKey =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB";
inline constexpr std::string_view kSerialCommKey =
    "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
inline constexpr std::string_view kDeviceParameters = "Device Parameters";
inline constexpr std::string_view kPortName = "PortName";

// The COM numbers OpenService accepts, and so the only ones the arbiter hands out.
inline constexpr int32_t kFirstCom = 1;
inline constexpr int32_t kLastCom = 30;

// "Vid_vvvv&Pid_pppp", the key of one pair of USB ids; the vendor id is written in lower case.
inline std::string UsbIdsKeyName(std::string_view vid, std::string_view pid) {
  return "Vid_" + text::LowerAscii(vid) + "&Pid_" + std::string(pid);
}

// The key of the instances of one pair of ids: one subkey per instance.
inline std::string UsbInstancesKey(std::string_view vid, std::string_view pid) {
  return std::string(kUsbEnumKey) + "\\" + UsbIdsKeyName(vid, pid);
}

// The display's: the build's USB ids.
inline std::string DisplayInstancesKey() { return UsbInstancesKey(KIRNOW_USB_VID, KIRNOW_USB_PID); }
inline bool IsDisplayIds(std::string_view vid, std::string_view pid) {
  return text::EqualsNoCase(vid, KIRNOW_USB_VID) && text::EqualsNoCase(pid, KIRNOW_USB_PID);
}

// n for exactly "COM<n>" (upper case, no leading zero) with n from kFirstCom to kLastCom;
// nullopt for anything else ("COM31", "com3", "COM03").
constexpr std::optional<int32_t> ParseComName(std::string_view name) {
  if (name.size() < 4 || name.size() > 5 || name.substr(0, 3) != "COM" || name[3] == '0') {
    return std::nullopt;
  }
  int32_t n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < kFirstCom || n > kLastCom) return std::nullopt;
  return n;
}

inline std::string ComName(int32_t n) { return "COM" + std::to_string(n); }

}  // namespace kirnow::platform::comnames
