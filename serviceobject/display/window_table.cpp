// The window table: creating, destroying and selecting its records (the display's windows), and
// the object's copies of the current window.
#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/command_set.h"

namespace kirnow {

int32_t POSLDisplay::CreateWindow(int32_t ViewportRow, int32_t ViewportColumn,
                                  int32_t ViewportHeight, int32_t ViewportWidth,
                                  int32_t WindowHeight, int32_t WindowWidth) {
  module_.trace.Record("\nCreateWindow:",
                       "ViewportRow=%d,ViewportColumn=%d,ViewportHeight=%d,ViewportWidth=%d,"
                       "WindowHeight=%d,WindowWidth=%d,CurrentWindow=%d",
                       ViewportRow, ViewportColumn, ViewportHeight, ViewportWidth, WindowHeight,
                       WindowWidth, CurrentWindow);
  // The table has ten records; with the last one current there is no room for another.
  if (CurrentWindow < 0 || CurrentWindow + 1 >= kWindowCount) return OPOS_SUCCESS;
  CurrentWindow += 1;
  WindowRecord& w = module_.list[static_cast<size_t>(CurrentWindow)];
  w.DeviceRows = display::kDisplayRows;
  w.DeviceColumns = display::kDisplayColumns;
  // Created windows count their cursor from 1: CursorRow is the display line of the window.
  w.CursorRow = static_cast<int32_t>(static_cast<uint32_t>(ViewportRow) + 1u);
  w.CursorColumn = static_cast<int32_t>(static_cast<uint32_t>(ViewportColumn) + 1u);
  w.ViewportRow = ViewportRow;
  w.ViewportColumn = ViewportColumn;
  w.WindowHeight = WindowHeight;
  w.WindowWidth = WindowWidth;
  // The display's cursor goes to the window's top-left cell.
  display::SendCursorMove(module_.Port, w.CursorColumn, w.CursorRow);
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::DestroyWindow() {
  module_.trace.Record("\nDestroyWindow:\n", "CurrentWindow=%d", CurrentWindow);
  if (CurrentWindow != 0) CurrentWindow -= 1;
  // The copies come from the device window, not from the window that is now current.
  const WindowRecord& w0 = module_.list[0];
  CurrentRows = w0.WindowHeight;
  CurrentColumns = w0.WindowWidth;
  CurrentCursorRow = w0.CursorRow;
  CurrentCursorColumn = w0.CursorColumn;
  DeviceRows = w0.DeviceRows;
  DeviceColumns = w0.DeviceColumns;
  MarqueeType = w0.MarqueeType;
  MarqueeUnitWait = w0.MarqueeUnitWait;
  MarqueeRepeatWait = w0.MarqueeRepeatWait;
  MarqueeFormat = w0.MarqueeFormat;
  InterCharacterWait = w0.InterCharacterWait;
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::RefreshWindow(int32_t Window) {
  module_.trace.Record("\nRefreshWindow:", "Window=%d", Window);
  if (Window < 0 || Window >= kWindowCount) return OPOS_SUCCESS;  // no such record
  CurrentWindow = Window;
  const WindowRecord& w = module_.list[static_cast<size_t>(Window)];
  CurrentRows = w.WindowHeight;
  CurrentColumns = w.WindowWidth;
  CurrentCursorRow = w.CursorRow;
  CurrentCursorColumn = w.CursorColumn;
  DeviceRows = w.DeviceRows;
  DeviceColumns = w.DeviceColumns;
  return OPOS_SUCCESS;
}

}  // namespace kirnow
