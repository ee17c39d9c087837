// Bytes written as hexadecimal pairs for people to read ("41 42 43").
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kirnow::text {

// The bytes as pairs of upper-case hexadecimal digits separated by single spaces ("1F 24 01").
std::string SpacedHexPairs(std::span<const uint8_t> bytes);

}  // namespace kirnow::text
