// The machine's USB serial devices as sysfs shows them: every USB device with a tty on one of
// its interfaces, with its ids, its serial number or bus path, and the path its tty is opened
// by. Read afresh at every call.
#pragma once

#include <string>
#include <vector>

namespace kirnow::platform {

struct UsbSerialDevice {
  std::string vid;       // idVendor: four lower-case hexadecimal digits
  std::string pid;       // idProduct, the same way
  std::string busPath;   // the device's name under bus/usb/devices ("1-1.2")
  std::string instance;  // its serial number when that makes a usable key name, else busPath
  std::string tty;       // the tty's name ("ttyACM0")
  std::string ttyPath;   // <dev root>/<tty>
  // The path that leads to this device for as long as it is plugged in: a link in
  // <dev root>/serial/by-id that points at the tty when udev made one, else ttyPath.
  std::string path;
};

// Reads <sysfsRoot>/bus/usb/devices/*: idVendor, idProduct, serial, and the interfaces' tty
// (an interface's tty/<name> child, as cdc_acm makes it, or a tty<name> child, as the
// USB-serial drivers make it). A device whose tty has no node under devRoot is left out. The
// first device of two with one serial number keeps it; the other is named by its bus path, as a
// device without a usable serial number is. A bus path that a serial number of a device of the
// same ids also spells gets the suffix ",0" (no serial name has a comma), so that no two devices
// plugged in together share an instance name, whatever their bus order. Sorted by vendor,
// product and instance.
std::vector<UsbSerialDevice> ScanUsbSerialDevices(const std::string& sysfsRoot,
                                                  const std::string& devRoot);

// $KIRNOW_SYSFS_ROOT (default /sys) and $KIRNOW_DEV_ROOT (default /dev).
std::string SysfsRoot();
std::string DevRoot();

}  // namespace kirnow::platform
