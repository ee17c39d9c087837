// regstore: the Linux registry store's counterpart of "regedit /s FILE.reg". Each file is
// applied in one change under the store's lock and saved atomically; everything in the store
// that the files do not name stays as it was, byte for byte. A malformed file or store is
// reported by file and line and nothing is written.
//
//   regstore [--store PATH] import FILE.reg...     (the store defaults to $KIRNOW_REGISTRY)
//   regstore [--store PATH] path                   (prints the store's path)
//   regstore [--store PATH] usb [VID PID]          (the USB serial devices plugged in now)
//
// usb lists the devices that the registry's live view shows (of those ids when given), by COM
// number, one a line: "COMn<tab>Vid_vvvv&Pid_pppp\<instance><tab>the device's path", and for a
// device of the build's ids (the display) "<tab>display" after it. A device new to the store gets
// its number remembered there, as any walk of the view does.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kirnow_config.h"
#include "platform/device/usb_ids.h"
#include "platform/registry/com_names.h"
#include "platform/registry/posix/live_usb_registry.h"
#include "platform/registry/posix/reg_store.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: regstore [--store PATH] import FILE.reg...\n"
               "       regstore [--store PATH] path\n"
               "       regstore [--store PATH] usb [VID PID]\n");
  return 2;
}

bool SameId(const std::string& a, const std::string& b) {
  return kirnow::platform::regtree::NameEquals(a, b);
}

int ListUsb(const std::string& store, const char* vid, const char* pid) {
  using kirnow::platform::LiveUsbRegistry;
  namespace comnames = kirnow::platform::comnames;
  const kirnow::platform::UsbIds display{KIRNOW_USB_VID, KIRNOW_USB_PID};
  LiveUsbRegistry view(std::make_unique<kirnow::platform::RegistryStore>(store),
                       kirnow::platform::SysfsRoot(), kirnow::platform::DevRoot(), display);
  for (const LiveUsbRegistry::Port& port : view.Ports()) {
    const auto& d = port.device;
    if (vid != nullptr && (!SameId(d.vid, vid) || !SameId(d.pid, pid))) continue;
    std::printf("%s\t%s\\%s\t%s%s\n", comnames::ComName(port.number).c_str(),
                comnames::UsbIdsKeyName(d.vid, d.pid).c_str(), d.instance.c_str(), d.path.c_str(),
                display.Names(d.vid, d.pid) ? "\tdisplay" : "");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string store = kirnow::platform::DefaultRegistryPath();
  int i = 1;
  if (i + 1 < argc && std::strcmp(argv[i], "--store") == 0) {
    store = argv[i + 1];
    i += 2;
  }
  if (i >= argc) return Usage();
  const std::string command = argv[i++];
  if (command == "path" && i == argc) {
    std::printf("%s\n", store.c_str());
    return 0;
  }
  if (command == "usb" && (i == argc || i + 2 == argc)) {
    return ListUsb(store, i == argc ? nullptr : argv[i], i == argc ? nullptr : argv[i + 1]);
  }
  if (command != "import" || i == argc) return Usage();

  kirnow::platform::RegistryStore registry(store);
  for (; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "regstore: cannot read %s: %s\n", argv[i], std::strerror(errno));
      return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (!registry.Import(text.str(), argv[i])) {
      std::fprintf(stderr, "regstore: %s\nregstore: nothing was imported from %s\n",
                   registry.LastError().c_str(), argv[i]);
      return 1;
    }
  }
  return 0;
}
