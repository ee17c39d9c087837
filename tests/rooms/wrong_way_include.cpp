// The core links neither the display engine nor the COM dress: this include must not be found,
// and the build of this file must fail.
#include "serviceobject/core/so_state.h"
#include "serviceobject/display/display_engine.h"

namespace kirnow {
void StopEverything(ModuleState& module) { StopAllWorkers(module); }
}  // namespace kirnow
