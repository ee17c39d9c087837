// The object's copies of a window's record (CurrentRows, MarqueeType, ...), which the service
// object's methods read instead of the record, and which operation loads which of them. The
// table itself is in window_table.cpp.
#pragma once

#include "serviceobject/core/so_state.h"

namespace kirnow::display {

// The operations that load copies from a record, in the order of the table's columns: selecting
// a window with the CurrentWindow property, RefreshWindow, and DestroyWindow (which loads them
// from window 0).
enum class WindowLoad { Select, Refresh, Destroy };

// Loads into `so` the copies that `load` takes from record `w`; the others keep their values.
void LoadWindowCopies(POSLDisplayFields& so, const WindowRecord& w, WindowLoad load);

}  // namespace kirnow::display
