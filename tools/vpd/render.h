// Drawing the display in a terminal with ANSI escape sequences: a box with the two lines,
// reversed cells in reverse video, the whole screen dark in the off phase of blinking, the
// brightness level beside it and the dot matrix of user-defined character 5F.
#pragma once

#include <string>
#include <vector>

#include "displaymodel/display_model.h"

namespace kirnow::vpd {

// The display model is shared with the service object; the tool uses its names as its own.
using namespace kirnow::displaymodel;

struct RenderInfo {
  bool blinkLit = true;  // false in the dark half of a blink period
  bool plugged = true;
  int32_t generation = 1;
};

// Whether a blinking screen is lit at time t (ms); always true when not blinking.
bool BlinkLit(const DisplayModel& model, double t);

// The frame as terminal lines (with escape sequences, without line ends).
std::vector<std::string> RenderFrame(const DisplayModel& model, const RenderInfo& info);

// The 8 rows of a glyph's dot matrix (bit 0 of each column byte is the top row), '#' for a lit
// dot and '.' for a dark one, one character per column.
std::vector<std::string> GlyphMatrix(const std::vector<uint8_t>& columns);

}  // namespace kirnow::vpd
