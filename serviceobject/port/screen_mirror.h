// The port's mirror of the display: what the display shows after every byte that reached it or
// that it should have got while it was gone, and the bytes that paint it all again on a display
// plugged back in. The owner's alone.
#pragma once

#include <cstdint>
#include <vector>

#include "displaymodel/display_model.h"

namespace kirnow::port {

class ScreenMirror {
 public:
  void Feed(uint8_t byte) {
    std::vector<uint8_t> ignored;  // the model's answers to identity queries go nowhere
    model_.Feed(byte, 0, ignored);
  }
  // A command cut short: its rest never comes.
  void CutShort() { model_.EndSequence(); }
  // Initialise, then every mode, glyph and character the display should show.
  std::vector<uint8_t> Repaint() const { return displaymodel::RepaintBytes(model_); }
  const displaymodel::DisplayModel& Model() const { return model_; }

 private:
  displaymodel::DisplayModel model_;
};

}  // namespace kirnow::port
