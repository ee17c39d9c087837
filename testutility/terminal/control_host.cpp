#include "testutility/terminal/control_host.h"

namespace polecheck {

IDispatch* CreateLineDisplayControl() { return nullptr; }

}  // namespace polecheck
