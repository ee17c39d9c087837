// The display engine: windows, text output, the marquee and blink workers, clearing, scrolling
// and glyphs. Output methods of POSLDisplay are implemented in this folder.
#pragma once

#include <cstdint>

#include "serviceobject/core/so_state.h"

namespace kirnow {

class POSLDisplay;

// The marquee control: run after a MarqueeType value has been stored in the object and the
// current window. Starts, switches or stops the workers for the current window's line; `so`
// supplies the current window and WaitStartTick.
void MarqueeControl(POSLDisplay& so, int32_t value);

// Stops every running worker and joins its thread; used when the module goes away.
void StopAllWorkers(ModuleState& module);
// True while a worker thread runs the library's code, one let go past its stop bound included.
bool WorkerThreadsAlive(ModuleState& module);

}  // namespace kirnow
