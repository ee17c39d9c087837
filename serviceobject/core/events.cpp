// The event-related methods. This display is output-only and the service object delivers no
// events, so each of them writes its trace record and changes nothing: no field, no byte to
// the display, and reference parameters come back as the caller passed them.
#include <string>

#include "serviceobject/core/posl_display.h"

namespace kirnow {

int32_t POSLDisplay::COFreezeEvents(bool /*Freeze*/) {
  // FreezeEvents is changed only through its property index.
  if (module().trace.enabled()) module().trace.Record("\nCOFreezeEvents:\n");
  return OPOS_SUCCESS;
}

void POSLDisplay::SOData(int32_t Status) {
  if (module().trace.enabled())
    module().trace.Record("\nSOData:", TraceFormat("Status=%d", Status));
}

void POSLDisplay::SODirectIO(int32_t EventNumber, int32_t* pData, std::u16string* pString) {
  if (module().trace.enabled()) {
    // The label's spelling is kept as it stands: existing logs and readers of them use it.
    module().trace.Record(
        "\nSODirectIO:",
        TraceFormat("EventNumber=%d,*pData=%d,*pDtring=", EventNumber, pData ? *pData : 0) +
            (pString ? module().platform.ansi.ToAnsi(*pString) : std::string()));
  }
}

void POSLDisplay::SOError(int32_t ResultCode, int32_t ResultCodeExtended, int32_t ErrorLocus,
                          int32_t* pErrorResponse) {
  if (module().trace.enabled()) {
    module().trace.Record(
        "\nSOError:",
        TraceFormat("ResultCode=%d,ResultCodeExtended=%d,ErrorLocus=%d,*pErrorResponse=%d",
                    ResultCode, ResultCodeExtended, ErrorLocus,
                    pErrorResponse ? *pErrorResponse : 0));
  }
}

void POSLDisplay::SOOutputComplete(int32_t OutputID) {
  if (module().trace.enabled()) {
    module().trace.Record("\nSOOutputComplete:", TraceFormat("OutputID=%d", OutputID));
  }
}

void POSLDisplay::SOStatusUpdate(int32_t Data) {
  if (module().trace.enabled()) {
    module().trace.Record("\nSOStatusUpdate:", TraceFormat("Data=%d", Data));
  }
}

}  // namespace kirnow
