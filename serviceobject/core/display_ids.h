// The display this service object serves, as the USB knows it: the build's ids
// (KIRNOW_USB_VID, KIRNOW_USB_PID). The platform's registry numbers its devices first.
#pragma once

#include "kirnow_config.h"
#include "platform/device/usb_ids.h"

namespace kirnow {

inline platform::UsbIds DisplayUsbIds() { return {KIRNOW_USB_VID, KIRNOW_USB_PID}; }

}  // namespace kirnow
