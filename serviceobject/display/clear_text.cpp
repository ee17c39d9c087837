// ClearText: empties both line buffers and, without a marquee, resets the display; the scroll
// totals of ScrollText start again.
#include <mutex>
#include <utility>

#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/command_set.h"
#include "serviceobject/display/workers.h"

namespace kirnow {

int32_t POSLDisplay::ClearText() {
  ModuleState& m = module_;
  DisplayShared& d = m.display;
  m.trace.Record("\nClearText:\n");
  display::Workers(m).ClearWalks();
  {
    platform::MutexHold hold(d.textLock);
    d.text2.fill('\0');
    d.text1.fill('\0');
  }
  if (MarqueeType == DISP_MT_NONE) {
    CurrentCursorRow = 0;
    CurrentCursorColumn = 0;
    port::Unit unit;
    display::SendInitialize(unit);
    display::SendCharacterSet(unit, 0);
    display::SendBlink(unit, 0);
    display::SendReverse(unit, 0);
    m.Port.Send(std::move(unit));
  }
  d.ScrollLeftTotal = 0;
  d.ScrollRightTotal = 0;
  return OPOS_SUCCESS;
}

}  // namespace kirnow
