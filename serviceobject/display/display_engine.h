// The display engine: windows, text output, the marquee and blink workers, clearing, scrolling
// and glyphs. Output methods of POSLDisplay are implemented in this folder.
#pragma once

#include <cstdint>

#include "serviceobject/core/so_state.h"

namespace kirnow {

// Stops every running worker and joins its thread; used when the module goes away.
void StopAllWorkers(ModuleState& module);

}  // namespace kirnow
