// Module-wide state: construction with every field zero, DelayMs, and the current window.
#include "serviceobject/core/so_state.h"

#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/display_engine.h"

namespace kirnow {

ModuleState::ModuleState(platform::Platform p, bool debugMode)
    : platform(p), Port(p.serial, p.clock), trace(p.clock, p.messageBox, debugMode) {}

ModuleState::~ModuleState() {
  StopAllWorkers(*this);
  Port.Close();
}

void ModuleState::DelayMs(uint32_t ms) { platform::DelayMs(platform.clock, ms); }

WindowRecord& POSLDisplay::CurrentRecord() {
  // CurrentWindow is kept within the table by every writer; this is the last guard.
  int32_t index = CurrentWindow;
  if (index < 0 || index >= kWindowCount) index = 0;
  return module_.list[static_cast<size_t>(index)];
}

}  // namespace kirnow
