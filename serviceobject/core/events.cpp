// The event-related methods. This display is output-only and the service object delivers no
// events, so each of them writes its trace record and changes nothing: no field, no byte to
// the display, and reference parameters come back as the caller passed them.
#include <string>

#include "serviceobject/core/posl_display.h"

namespace kirnow {

int32_t POSLDisplay::COFreezeEvents(bool /*Freeze*/) {
  // FreezeEvents is changed only through its property index.
  module().trace.Record("\nCOFreezeEvents:\n");
  return OPOS_SUCCESS;
}

void POSLDisplay::SOData(int32_t Status) {
  module().trace.Record("\nSOData:", "Status=%d", Status);
}

void POSLDisplay::SODirectIO(int32_t EventNumber, int32_t* pData, std::u16string* pString) {
  // The label's spelling is kept as it stands: existing logs and readers of them use it.
  module().trace.Record("\nSODirectIO:", [&] {
    return TraceFormat("EventNumber=%d,*pData=%d,*pDtring=", EventNumber, pData ? *pData : 0) +
           (pString ? module().platform.ansi.ToAnsi(*pString) : std::string());
  });
}

void POSLDisplay::SOError(int32_t ResultCode, int32_t ResultCodeExtended, int32_t ErrorLocus,
                          int32_t* pErrorResponse) {
  module().trace.Record(
      "\nSOError:", "ResultCode=%d,ResultCodeExtended=%d,ErrorLocus=%d,*pErrorResponse=%d",
      ResultCode, ResultCodeExtended, ErrorLocus, pErrorResponse ? *pErrorResponse : 0);
}

void POSLDisplay::SOOutputComplete(int32_t OutputID) {
  module().trace.Record("\nSOOutputComplete:", "OutputID=%d", OutputID);
}

void POSLDisplay::SOStatusUpdate(int32_t Data) {
  module().trace.Record("\nSOStatusUpdate:", "Data=%d", Data);
}

}  // namespace kirnow
