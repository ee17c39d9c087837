// The descriptor methods: the display has no descriptors, so they only write their trace records.
#include "serviceobject/core/posl_display.h"

namespace kirnow {

int32_t POSLDisplay::SetDescriptor(int32_t Descriptor, int32_t Attribute) {
  // The display has no descriptors.
  module_.trace.Record("\nSetDescriptor:", "Descriptor=%d,Attribute=%d", Descriptor, Attribute);
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::ClearDescriptors() {
  module_.trace.Record("\nClearDescriptors:\n");
  return OPOS_SUCCESS;
}

}  // namespace kirnow
