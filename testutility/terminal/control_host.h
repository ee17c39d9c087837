// Creation of the LineDisplay control object that the dialog hosts.
#pragma once

#include "platform/com/com_types.h"

namespace polecheck {

// A new control object with one reference for the caller, or nullptr when it cannot be created.
IDispatch* CreateLineDisplayControl();

}  // namespace polecheck
