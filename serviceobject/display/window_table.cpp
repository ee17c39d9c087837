// The window table: creating, destroying and selecting its records (the display's windows), and
// the object's copies of the current window.
#include <array>
#include <variant>

#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/command_set.h"
#include "serviceobject/display/window_copies.h"

namespace kirnow {

namespace display {

namespace {

using Fields = POSLDisplayFields;
using Record = WindowRecord;

// A copy in the object: a 32-bit field, or CursorUpdate, a 16-bit boolean.
using CopyField = std::variant<int32_t Fields::*, int16_t Fields::*>;

struct WindowCopy {
  CopyField copy;
  std::atomic<int32_t> Record::*field;
  std::array<bool, 3> loadedBy;  // by WindowLoad: Select, Refresh, Destroy
};

constexpr bool yes = true;
constexpr bool no = false;

// Which operation loads which copy, from which field of the record. DestroyWindow loads from
// window 0, not from the window that becomes current. CreateWindow loads none: the copies
// describe the previously current window until one is selected. CursorType is never loaded: it
// stays as last written. Selecting another window writes no copy back to its record.
// clang-format off
constexpr WindowCopy kWindowCopies[] = {
    // copy                          record field                   select refresh destroy
    {&Fields::CurrentRows,           &Record::WindowHeight,        {yes,   yes,    yes}},
    {&Fields::CurrentColumns,        &Record::WindowWidth,         {yes,   yes,    yes}},
    {&Fields::CurrentCursorRow,      &Record::CursorRow,           {yes,   yes,    yes}},
    {&Fields::CurrentCursorColumn,   &Record::CursorColumn,        {yes,   yes,    yes}},
    {&Fields::DeviceRows,            &Record::DeviceRows,          {yes,   yes,    yes}},
    {&Fields::DeviceColumns,         &Record::DeviceColumns,       {yes,   yes,    yes}},
    {&Fields::MarqueeType,           &Record::MarqueeType,         {yes,   no,     yes}},
    {&Fields::MarqueeUnitWait,       &Record::MarqueeUnitWait,     {yes,   no,     yes}},
    {&Fields::MarqueeRepeatWait,     &Record::MarqueeRepeatWait,   {yes,   no,     yes}},
    {&Fields::MarqueeFormat,         &Record::MarqueeFormat,       {yes,   no,     yes}},
    {&Fields::InterCharacterWait,    &Record::InterCharacterWait,  {yes,   no,     yes}},
    {&Fields::BlinkRate,             &Record::BlinkRate,           {yes,   no,     no}},
    {&Fields::CursorUpdate,          &Record::CursorUpdate,        {yes,   no,     no}},
};
// clang-format on

void Assign(int32_t& copy, int32_t value) { copy = value; }
// A 16-bit boolean takes the record's low 16 bits.
void Assign(int16_t& copy, int32_t value) {
  copy = static_cast<int16_t>(static_cast<uint16_t>(value));
}

}  // namespace

void LoadWindowCopies(POSLDisplayFields& so, const WindowRecord& w, WindowLoad load) {
  for (const WindowCopy& c : kWindowCopies) {
    if (!c.loadedBy[static_cast<size_t>(load)]) continue;
    const int32_t value = (w.*c.field).load();
    std::visit([&](auto copy) { Assign(so.*copy, value); }, c.copy);
  }
}

}  // namespace display

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
  display::LoadWindowCopies(*this, module_.list[0], display::WindowLoad::Destroy);
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::RefreshWindow(int32_t Window) {
  module_.trace.Record("\nRefreshWindow:", "Window=%d", Window);
  if (Window < 0 || Window >= kWindowCount) return OPOS_SUCCESS;  // no such record
  CurrentWindow = Window;
  display::LoadWindowCopies(*this, module_.list[static_cast<size_t>(Window)],
                            display::WindowLoad::Refresh);
  return OPOS_SUCCESS;
}

}  // namespace kirnow
