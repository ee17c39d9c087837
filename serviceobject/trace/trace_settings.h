// The field trace's switch, read from the device's entry at each OpenService:
//   "Trace"       "1": on; anything else, or no value: off
//   "TraceFolder" where the files go (empty or absent: the platform's default folder)
//   "TraceMaxKB"  the most the trace files of one process take together, in KB (a string or a
//                 DWORD; default 8192, at least 16, at most 4194304)
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry/registry.h"

namespace kirnow::trace {

inline constexpr uint64_t kDefaultMaxKB = 8192;
inline constexpr uint64_t kLeastMaxKB = 16;
inline constexpr uint64_t kMostMaxKB = 4194304;

struct Settings {
  bool on = false;
  std::string folder;  // empty: the default
  uint64_t maxBytes = kDefaultMaxKB * 1024;
};

// The values of the device entry at `entryKey` (a full key path).
Settings ReadSettings(platform::Registry& registry, const std::string& entryKey);

}  // namespace kirnow::trace
