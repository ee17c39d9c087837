// CheckHealth and DirectIO. No health test is defined for this display and no direct-I/O
// command exists: both write their trace record and change nothing. Nothing is sent to or
// read from the display, CheckHealthText and the result codes stay as they are, and the
// caller's data and string come back untouched.
#include <string>

#include "serviceobject/core/posl_display.h"

namespace kirnow {

int32_t POSLDisplay::CheckHealth(int32_t Level) {
  module().trace.Record("\nCheckHealth:", "Level=%d", Level);
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::DirectIO(int32_t Command, int32_t* pData, std::u16string* pString) {
  module().trace.Record("\nDirectIO:", [&] {
    return TraceFormat("Command=%d,*pData=%d,*pString=", Command, pData ? *pData : 0) +
           (pString ? module().platform.ansi.ToAnsi(*pString) : std::string());
  });
  return OPOS_SUCCESS;
}

}  // namespace kirnow
