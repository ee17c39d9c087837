// What the virtual pole display writes for others to read: the time-stamped byte log and the
// screen snapshot (a small JSON object, one field per line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "displaymodel/display_model.h"

namespace kirnow::vpd {

// The display model is shared with the service object; the tool uses its names as its own.
using namespace kirnow::displaymodel;

// The character a byte shows in the built-in set, as UTF-8 (Windows-1252: 80 is the euro sign,
// A3 the pound sign). Control bytes and the code page's unassigned bytes show as a middle dot.
std::string CharacterUtf8(uint8_t b);

// "<ms since start> <hex bytes>" without the line end, ms with three decimals.
std::string FormatLogLine(double ms, const uint8_t* data, size_t n);

// The text with JSON string escapes (quotes included).
std::string JsonString(const std::string& utf8);

struct SnapshotInfo {
  int32_t generation = 1;  // 1, then one more for every re-plug
  bool plugged = true;
  std::string slavePath;
  std::string linkPath;
  double uptimeMs = 0;
};

std::string FormatSnapshot(const DisplayModel& model, const SnapshotInfo& info);

}  // namespace kirnow::vpd
