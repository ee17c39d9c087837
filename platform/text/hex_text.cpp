// The spaced pairs the field trace shows the wire's bytes in.
#include "platform/text/hex_text.h"

namespace kirnow::text {

std::string SpacedHexPairs(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (const uint8_t b : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

}  // namespace kirnow::text
