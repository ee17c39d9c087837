// Reads the USB serial devices out of sysfs and finds their device nodes. See usb_serial_scan.h.
#include "platform/device/posix/usb_serial_scan.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include "platform/text/name_compare.h"

namespace kirnow::platform {
namespace {

// Everything is looked up relative to a folder held open, so that each look costs a step or two
// of path resolution: an enumeration runs for every instance OpenService tries.

struct Entry {
  std::string name;
  bool maybeDir;  // a folder, a link, or unknown
};

// The entries of the folder `name` (relative to `at`), '.' and '..' left out, sorted by name;
// nullopt when it can't be opened.
std::optional<std::vector<Entry>> ListAt(int at, const std::string& name) {
  const int fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  DIR* d = fdopendir(fd);
  if (d == nullptr) {
    close(fd);
    return std::nullopt;
  }
  std::vector<Entry> entries;
  while (const dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    entries.push_back({n, e->d_type == DT_DIR || e->d_type == DT_LNK || e->d_type == DT_UNKNOWN});
  }
  closedir(d);
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return entries;
}

// A sysfs attribute's text without its trailing newline; nullopt when it can't be read.
std::optional<std::string> ReadAttribute(int at, const std::string& name) {
  const int fd = openat(at, name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char buf[256];
  ssize_t n = 0;
  do {
    n = read(fd, buf, sizeof buf);
  } while (n < 0 && errno == EINTR);
  close(fd);
  if (n < 0) return std::nullopt;
  std::string text(buf, static_cast<size_t>(n));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// Four hexadecimal digits, in lower case; nullopt for anything else.
std::optional<std::string> UsbId(const std::optional<std::string>& text) {
  if (!text || text->size() != 4) return std::nullopt;
  const std::string id = text::LowerAscii(*text);
  const bool hex = std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
  });
  return hex ? std::optional<std::string>(id) : std::nullopt;
}

// Whether a serial number can name the device's key, as Windows takes it for the instance id:
// printable ASCII without blanks, commas and backslashes.
bool UsableSerial(const std::string& serial) {
  if (serial.empty() || serial.size() > 126) return false;
  return std::all_of(serial.begin(), serial.end(),
                     [](char c) { return c > 0x20 && c < 0x7F && c != ',' && c != '\\'; });
}

// What a bus-path name gets when a serial number of a device of the same ids has that name: a
// comma, which no serial name has.
constexpr std::string_view kBusPathSuffix = ",0";

// The tty of one interface: <interface>/tty/<name> (cdc_acm) or <interface>/tty<name>/
// (the USB-serial drivers); empty when it has none.
std::string InterfaceTty(int devices, const std::string& interface) {
  if (const auto names = ListAt(devices, interface + "/tty")) {
    return names->empty() ? std::string() : names->front().name;
  }
  for (const Entry& e : ListAt(devices, interface).value_or(std::vector<Entry>{})) {
    if (e.maybeDir && e.name.size() > 3 && e.name.compare(0, 3, "tty") == 0) return e.name;
  }
  return {};
}

// tty name -> the first link in <dev root>/serial/by-id (in name order) that points at it.
std::map<std::string, std::string> StableLinks(const std::string& devRoot) {
  std::map<std::string, std::string> links;
  const std::string dir = devRoot + "/serial/by-id";
  for (const Entry& e : ListAt(AT_FDCWD, dir).value_or(std::vector<Entry>{})) {
    char target[4096];
    const ssize_t n = readlink((dir + "/" + e.name).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string t(target, static_cast<size_t>(n));
    const size_t slash = t.find_last_of('/');
    links.emplace(slash == std::string::npos ? t : t.substr(slash + 1), dir + "/" + e.name);
  }
  return links;
}

// A folder held open for relative lookups.
class OpenDir {
 public:
  explicit OpenDir(const std::string& path)
      : fd_(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~OpenDir() {
    if (fd_ >= 0) close(fd_);
  }
  OpenDir(const OpenDir&) = delete;
  OpenDir& operator=(const OpenDir&) = delete;
  int fd() const { return fd_; }

 private:
  const int fd_;
};

// Names the devices' instances: first the serial numbers, in bus order, each unless it is
// unusable or an earlier device of the same ids has it already; then the bus paths of the
// others, with a suffix where a serial name of the same ids is the bus path. Sorted by vendor,
// product and instance.
void NameInstances(std::vector<UsbSerialDevice>& found) {
  std::set<std::string> serials;  // "vid:pid:NAME", folded
  auto named = [](const UsbSerialDevice& d, std::string_view name) {
    return text::FoldedAscii(d.vid + ":" + d.pid + ":" + std::string(name));
  };
  std::vector<UsbSerialDevice*> unnamed;
  for (UsbSerialDevice& d : found) {
    if (!UsableSerial(d.instance) || !serials.insert(named(d, d.instance)).second) {
      unnamed.push_back(&d);
    }
  }
  for (UsbSerialDevice* d : unnamed) {
    d->instance = d->busPath;
    if (serials.count(named(*d, d->busPath)) != 0) d->instance += kBusPathSuffix;
  }
  std::sort(found.begin(), found.end(), [](const UsbSerialDevice& a, const UsbSerialDevice& b) {
    if (a.vid != b.vid) return a.vid < b.vid;
    if (a.pid != b.pid) return a.pid < b.pid;
    return text::CompareNoCase(a.instance, b.instance) < 0;
  });
}

}  // namespace

std::vector<UsbSerialDevice> ScanUsbSerialDevices(const std::string& sysfsRoot,
                                                  const std::string& devRoot) {
  std::vector<UsbSerialDevice> found;
  const OpenDir devices(sysfsRoot + "/bus/usb/devices");
  const OpenDir dev(devRoot);
  const auto entries = ListAt(devices.fd(), ".");
  if (devices.fd() < 0 || dev.fd() < 0 || !entries) return found;
  // The folder lists the interfaces ("1-2:1.0") beside the devices ("1-2").
  std::map<std::string, std::vector<std::string>> interfaces;
  for (const Entry& e : *entries) {
    const size_t colon = e.name.find(':');
    if (colon != std::string::npos) interfaces[e.name.substr(0, colon)].push_back(e.name);
  }
  std::optional<std::map<std::string, std::string>> links;  // read once, when needed
  for (const Entry& e : *entries) {
    const std::string& bus = e.name;
    const auto own = interfaces.find(bus);
    if (bus.find(':') != std::string::npos || own == interfaces.end()) continue;
    std::string tty;
    for (const std::string& interface : own->second) {
      tty = InterfaceTty(devices.fd(), interface);
      if (!tty.empty()) break;
    }
    if (tty.empty()) continue;
    struct stat st {};
    if (fstatat(dev.fd(), tty.c_str(), &st, 0) != 0) continue;  // no node (yet): nothing to open
    const std::optional<std::string> vid = UsbId(ReadAttribute(devices.fd(), bus + "/idVendor"));
    const std::optional<std::string> pid = UsbId(ReadAttribute(devices.fd(), bus + "/idProduct"));
    if (!vid || !pid) continue;
    UsbSerialDevice d;
    d.vid = *vid;
    d.pid = *pid;
    d.busPath = bus;
    d.instance = ReadAttribute(devices.fd(), bus + "/serial").value_or("");
    d.tty = tty;
    d.ttyPath = devRoot + "/" + tty;
    if (!links) links = StableLinks(devRoot);
    const auto link = links->find(tty);
    d.path = link != links->end() ? link->second : d.ttyPath;
    found.push_back(std::move(d));
  }

  NameInstances(found);
  return found;
}

namespace {

std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

std::string SysfsRoot() { return EnvOr("KIRNOW_SYSFS_ROOT", "/sys"); }
std::string DevRoot() { return EnvOr("KIRNOW_DEV_ROOT", "/dev"); }

}  // namespace kirnow::platform
