// The plain records of the device room: a pair of USB ids, and the COM names that the numbers
// of serial devices are written as.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/name_compare.h"

namespace kirnow::platform {

// A vendor and a product id, four hexadecimal digits each, in either case.
struct UsbIds {
  std::string vid;
  std::string pid;

  // The device's ids are these (case-insensitively); never for empty ids.
  bool Names(std::string_view deviceVid, std::string_view devicePid) const {
    return !vid.empty() && text::EqualsNoCase(deviceVid, vid) && text::EqualsNoCase(devicePid, pid);
  }
};

namespace comnames {

// The COM numbers OpenService accepts, and so the only ones the arbiter hands out.
inline constexpr int32_t kFirstCom = 1;
inline constexpr int32_t kLastCom = 30;

// "Vid_vvvv&Pid_pppp", the key of one pair of USB ids; the vendor id is written in lower case.
inline std::string UsbIdsKeyName(std::string_view vid, std::string_view pid) {
  return "Vid_" + text::LowerAscii(vid) + "&Pid_" + std::string(pid);
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

}  // namespace comnames
}  // namespace kirnow::platform
