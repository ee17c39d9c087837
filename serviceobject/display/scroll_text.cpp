// ScrollText: the text last written to the current window, moved left or right along its row;
// what passes an edge of the display is lost until the next ClearText.
#include <algorithm>
#include <string>
#include <utility>

#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/command_set.h"
#include "serviceobject/display/engine_internal.h"

namespace kirnow {

using display::Wrap;

int32_t POSLDisplay::ScrollText(int32_t Direction, int32_t Units) {
  ModuleState& m = module_;
  DisplayShared& d = m.display;
  m.trace.Record("\nScrollText:", "Direction=%d,Units=%d", Direction, Units);
  if (MarqueeType != DISP_MT_NONE) return OPOS_SUCCESS;
  if (Direction != DISP_ST_LEFT && Direction != DISP_ST_RIGHT) return OPOS_SUCCESS;

  // The text last written to the window, as a line buffer holds it.
  std::string text = CurrentRecord().ScrollSource;
  text = text.substr(0, std::min(text.find('\0'), display::kLineCapacity));
  const int32_t length = static_cast<int32_t>(text.size());
  const int32_t row = CurrentCursorRow;

  port::Unit unit;
  unit.SendByte(display::kClearDisplay);
  if (Direction == DISP_ST_LEFT) {
    CurrentCursorColumn = Wrap(static_cast<int64_t>(CurrentCursorColumn) - Units);
    if (CurrentCursorColumn >= 1) {
      display::SendCursorMove(unit, CurrentCursorColumn, row);
      display::SendText(unit, text);
    } else {
      // Past the left edge: the text loses as many leading characters as have been scrolled
      // past it since the last ClearText.
      CurrentCursorColumn = 1;
      display::SendCursorMove(unit, 1, row);
      d.ScrollLeftTotal = Wrap(static_cast<int64_t>(d.ScrollLeftTotal) + Units);
      const int32_t from = std::max(d.ScrollLeftTotal, 0);
      if (from < length)
        display::SendText(unit, std::string_view(text).substr(static_cast<size_t>(from)));
    }
  } else {
    CurrentCursorColumn = Wrap(static_cast<int64_t>(CurrentCursorColumn) + Units);
    display::SendCursorMove(unit, CurrentCursorColumn, row);
    if (static_cast<int64_t>(CurrentCursorColumn) + length <= display::kDisplayColumns) {
      display::SendText(unit, text);
    } else {
      // Past the right edge: the text loses as many trailing characters as have been scrolled
      // past it since the last ClearText (never more than it has, never fewer than none).
      d.ScrollRightTotal = Wrap(static_cast<int64_t>(d.ScrollRightTotal) + Units);
      const int64_t last = std::min<int64_t>(static_cast<int64_t>(length) - d.ScrollRightTotal,
                                             static_cast<int64_t>(length) - 1);
      if (last >= 0)
        display::SendText(unit, std::string_view(text).substr(0, static_cast<size_t>(last + 1)));
    }
  }
  m.Port.Send(std::move(unit));
  return OPOS_SUCCESS;
}

}  // namespace kirnow
