#include "testutility/terminal/control_host.h"

#include "controlobject/line_display_control.h"

namespace polecheck {

IDispatch* CreateLineDisplayControl() { return kirnow::control::CreateLineDisplayControl(); }

}  // namespace polecheck
