// Module-wide state: construction with every field zero, DelayMs, and the current window.
#include "serviceobject/core/so_state.h"

#include "serviceobject/core/posl_display.h"

namespace kirnow {

namespace {

// The platform with its message box shown through `box`.
platform::Platform WithBox(platform::Platform p, platform::MessageBoxSink& box) {
  return platform::Platform{p.registry, p.serial, box, p.clock, p.ansi, p.files, p.host};
}

}  // namespace

ModuleState::ModuleState(platform::Platform p, bool debugMode)
    : fieldTrace(p.clock, p.files, p.host),
      tracedBox_(p.messageBox, fieldTrace),
      platform(WithBox(p, tracedBox_)),
      Port(p.serial, p.clock, fieldTrace),
      trace(p.clock, tracedBox_, debugMode) {}

ModuleState::~ModuleState() {
  if (stopWorkers) stopWorkers(*this);
  Port.Close();
  fieldTrace.Stop();
}

void ModuleState::DelayMs(uint32_t ms) { platform::DelayMs(platform.clock, ms); }

WindowRecord& POSLDisplay::CurrentRecord() {
  // CurrentWindow is kept within the table by every writer; this is the last guard.
  int32_t index = CurrentWindow;
  if (index < 0 || index >= kWindowCount) index = 0;
  return module_.list[static_cast<size_t>(index)];
}

}  // namespace kirnow
