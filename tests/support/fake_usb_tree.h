// A fake sysfs and /dev for the view of the USB serial devices, laid out as the kernel and udev
// lay them out: bus/usb/devices/<bus> links to the device's folder (idVendor, idProduct, serial,
// one interface folder with its tty), beside a root hub and the interfaces' own links; the tty's
// node in dev/ is a plain file or a link to a real tty (a pty), and serial/by-id links point at
// it. Point KIRNOW_SYSFS_ROOT at Sys() and KIRNOW_DEV_ROOT at Dev().
#pragma once

#include <cctype>
#include <filesystem>
#include <map>
#include <string>

#include "kirnow_config.h"
#include "tests/support/file_text.h"

namespace kirnow::testsupport {

class FakeUsbTree {
 public:
  struct Device {
    std::string bus;  // "1-2", the device's name in sysfs
    std::string vid, pid;
    std::string serial;              // no serial attribute when empty
    std::string tty;                 // no tty when empty (the driver has not bound yet)
    bool usbSerialLayout = false;    // <interface>/ttyUSB0/tty/ttyUSB0, as ftdi_sio makes it
    std::string node;                // what dev/<tty> links to; a plain file when empty
    std::string byId;                // dev/serial/by-id/<byId> -> ../../<tty> when not empty
    std::string interface = ":1.0";  // the interface that has the tty
  };

  // A display of the build's USB ids (in lower case, as sysfs writes them).
  static Device PoleDisplay(const std::string& bus, const std::string& serial,
                            const std::string& tty) {
    Device d;
    d.bus = bus;
    d.vid = Lower(KIRNOW_USB_VID);
    d.pid = Lower(KIRNOW_USB_PID);
    d.serial = serial;
    d.tty = tty;
    return d;
  }
  static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }

  FakeUsbTree() : scratch_("kirnow-usb") {
    namespace fs = std::filesystem;
    fs::create_directories(Devices());
    fs::create_directories(Dev());
    const std::string hub = scratch_.path() + "/sys/devices/pci0000:00/0000:00:14.0/usb1";
    fs::create_directories(hub + "/1-0:1.0");
    WriteFile(hub + "/idVendor", "1d6b\n");
    WriteFile(hub + "/idProduct", "0002\n");
    fs::create_directory_symlink(hub, Devices() + "/usb1");
    fs::create_directory_symlink(hub + "/1-0:1.0", Devices() + "/1-0:1.0");
  }
  FakeUsbTree(const FakeUsbTree&) = delete;
  FakeUsbTree& operator=(const FakeUsbTree&) = delete;

  std::string Sys() const { return scratch_.path() + "/sys"; }
  std::string Dev() const { return scratch_.path() + "/dev"; }
  std::string Devices() const { return Sys() + "/bus/usb/devices"; }

  void Plug(const Device& d) {
    namespace fs = std::filesystem;
    const std::string dir = DeviceDir(d.bus);
    const std::string interface = dir + "/" + d.bus + d.interface;
    fs::create_directories(interface);
    WriteFile(dir + "/idVendor", d.vid + "\n");
    WriteFile(dir + "/idProduct", d.pid + "\n");
    if (!d.serial.empty()) WriteFile(dir + "/serial", d.serial + "\n");
    fs::create_directory_symlink(dir, Devices() + "/" + d.bus);
    fs::create_directory_symlink(interface, Devices() + "/" + d.bus + d.interface);
    plugged_[d.bus] = d;
    if (!d.tty.empty()) AddTty(d);
  }

  // The device goes away with its tty, its node and its links.
  void Unplug(const std::string& bus) {
    namespace fs = std::filesystem;
    const auto it = plugged_.find(bus);
    if (it == plugged_.end()) return;
    RemoveTty(it->second);
    fs::remove(Devices() + "/" + bus);
    fs::remove(Devices() + "/" + bus + it->second.interface);
    fs::remove_all(DeviceDir(bus));
    plugged_.erase(it);
  }

  // The device's tty comes back under another name (and its node leads to `node`), as after a
  // replug that found the old name still held open.
  void Retty(const std::string& bus, const std::string& tty, const std::string& node = "") {
    Device& d = plugged_.at(bus);
    RemoveTty(d);
    d.tty = tty;
    d.node = node;
    AddTty(d);
  }

 private:
  std::string DeviceDir(const std::string& bus) const {
    return scratch_.path() + "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + bus;
  }
  std::string TtyDir(const Device& d) const {
    const std::string interface = DeviceDir(d.bus) + "/" + d.bus + d.interface;
    return d.usbSerialLayout ? interface + "/" + d.tty + "/tty/" + d.tty
                             : interface + "/tty/" + d.tty;
  }

  void AddTty(const Device& d) {
    namespace fs = std::filesystem;
    fs::create_directories(TtyDir(d));
    WriteFile(TtyDir(d) + "/dev", "166:0\n");
    const std::string node = Dev() + "/" + d.tty;
    if (d.node.empty()) {
      WriteFile(node, "");
    } else {
      fs::create_symlink(d.node, node);
    }
    if (!d.byId.empty()) {
      fs::create_directories(Dev() + "/serial/by-id");
      fs::create_symlink("../../" + d.tty, Dev() + "/serial/by-id/" + d.byId);
    }
  }

  void RemoveTty(const Device& d) {
    namespace fs = std::filesystem;
    if (d.tty.empty()) return;
    const std::string interface = DeviceDir(d.bus) + "/" + d.bus + d.interface;
    fs::remove_all(d.usbSerialLayout ? interface + "/" + d.tty : interface + "/tty");
    fs::remove(Dev() + "/" + d.tty);
    if (!d.byId.empty()) fs::remove(Dev() + "/serial/by-id/" + d.byId);
  }

  ScratchDir scratch_;
  std::map<std::string, Device> plugged_;
};

}  // namespace kirnow::testsupport
