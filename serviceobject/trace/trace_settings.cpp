// Reading the field trace's switch (trace_settings.h).
#include "serviceobject/trace/trace_settings.h"

#include <algorithm>
#include <optional>

namespace kirnow::trace {
namespace {

// A whole number of KB from a DWORD or from a string of decimal digits; nullopt for anything
// else (an empty string, a sign, letters, a number too long to mean anything).
std::optional<uint64_t> KiloBytes(const platform::RegValue& value) {
  if (const std::optional<uint32_t> dword = value.AsDword()) return *dword;
  const std::optional<std::string> text = value.AsString();
  if (!text || text->empty() || text->size() > 12) return std::nullopt;
  uint64_t n = 0;
  for (const char c : *text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  return n;
}

}  // namespace

Settings ReadSettings(platform::Registry& registry, const std::string& entryKey) {
  Settings s;
  const std::optional<platform::RegValue> trace = registry.GetValue(entryKey, "Trace");
  s.on = trace && trace->AsString() == "1";
  if (!s.on) return s;
  if (const auto folder = registry.GetValue(entryKey, "TraceFolder")) {
    s.folder = folder->AsString().value_or("");
  }
  if (const auto max = registry.GetValue(entryKey, "TraceMaxKB")) {
    // 0 or a value that is no number keeps the default; others are held within the bounds.
    const std::optional<uint64_t> kb = KiloBytes(*max);
    if (kb && *kb != 0) s.maxBytes = std::clamp(*kb, kLeastMaxKB, kMostMaxKB) * 1024;
  }
  return s;
}

}  // namespace kirnow::trace
