// The size of the line buffers text1 and text2 (and of DisplayText's output), in one place.
#pragma once

#include <array>
#include <cstddef>

namespace kirnow::display {

// Characters a line buffer holds.
inline constexpr size_t kLineCapacity = 255;
// A line buffer: its characters and the terminating zero.
using LineBuffer = std::array<char, kLineCapacity + 1>;

}  // namespace kirnow::display
