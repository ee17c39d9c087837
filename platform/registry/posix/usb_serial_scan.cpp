// Reads the USB serial devices out of sysfs and finds their device nodes. See usb_serial_scan.h.
#include "platform/registry/posix/usb_serial_scan.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "platform/registry/reg_tree.h"

namespace kirnow::platform {
namespace {

// The names in a directory, '.' and '..' left out, sorted; empty when it can't be read.
std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

bool IsDir(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A sysfs attribute's text without its trailing newline; nullopt when it can't be read.
std::optional<std::string> ReadAttribute(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
  std::string id = *text;
  for (char& c : id) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  return id;
}

// Whether a serial number can name the device's key, as Windows takes it for the instance id:
// printable ASCII without blanks, commas and backslashes.
bool UsableSerial(const std::string& serial) {
  if (serial.empty() || serial.size() > 126) return false;
  return std::all_of(serial.begin(), serial.end(),
                     [](char c) { return c > 0x20 && c < 0x7F && c != ',' && c != '\\'; });
}

// The tty of one interface: <interface>/tty/<name> (cdc_acm) or <interface>/tty<name>/
// (the USB-serial drivers); empty when it has none.
std::string InterfaceTty(const std::string& interfaceDir) {
  const std::string ttyDir = interfaceDir + "/tty";
  if (IsDir(ttyDir)) {
    const std::vector<std::string> names = ListDir(ttyDir);
    return names.empty() ? std::string() : names.front();
  }
  for (const std::string& name : ListDir(interfaceDir)) {
    if (name.size() > 3 && name.compare(0, 3, "tty") == 0 && IsDir(interfaceDir + "/" + name)) {
      return name;
    }
  }
  return {};
}

// tty name -> the first link in <dev root>/serial/by-id (in name order) that points at it.
std::map<std::string, std::string> StableLinks(const std::string& devRoot) {
  std::map<std::string, std::string> links;
  const std::string dir = devRoot + "/serial/by-id";
  for (const std::string& name : ListDir(dir)) {
    char target[4096];
    const ssize_t n = readlink((dir + "/" + name).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string t(target, static_cast<size_t>(n));
    const size_t slash = t.find_last_of('/');
    links.emplace(slash == std::string::npos ? t : t.substr(slash + 1), dir + "/" + name);
  }
  return links;
}

}  // namespace

std::vector<UsbSerialDevice> ScanUsbSerialDevices(const std::string& sysfsRoot,
                                                  const std::string& devRoot) {
  std::vector<UsbSerialDevice> found;
  const std::string devices = sysfsRoot + "/bus/usb/devices";
  std::optional<std::map<std::string, std::string>> links;  // read once, when needed
  for (const std::string& bus : ListDir(devices)) {
    if (bus.find(':') != std::string::npos) continue;  // an interface, not a device
    const std::string dir = devices + "/" + bus;
    std::string tty;
    for (const std::string& entry : ListDir(dir)) {
      if (entry.size() > bus.size() && entry.compare(0, bus.size() + 1, bus + ":") == 0) {
        tty = InterfaceTty(dir + "/" + entry);
        if (!tty.empty()) break;
      }
    }
    if (tty.empty()) continue;
    const std::optional<std::string> vid = UsbId(ReadAttribute(dir + "/idVendor"));
    const std::optional<std::string> pid = UsbId(ReadAttribute(dir + "/idProduct"));
    if (!vid || !pid) continue;
    UsbSerialDevice d;
    d.vid = *vid;
    d.pid = *pid;
    d.busPath = bus;
    d.instance = ReadAttribute(dir + "/serial").value_or("");
    d.tty = tty;
    d.ttyPath = devRoot + "/" + tty;
    struct stat st {};
    if (stat(d.ttyPath.c_str(), &st) != 0) continue;  // no node (yet): nothing to open
    if (!links) links = StableLinks(devRoot);
    const auto link = links->find(tty);
    d.path = link != links->end() ? link->second : d.ttyPath;
    found.push_back(std::move(d));
  }

  // Instance names, in bus order: the serial number unless it is unusable or an earlier device
  // of the same ids has it already.
  std::set<std::string> taken;  // "vid:pid:NAME" in upper case
  auto upper = [](std::string s) {
    for (char& c : s) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
  };
  for (UsbSerialDevice& d : found) {
    const std::string key = d.vid + ":" + d.pid + ":" + upper(d.instance);
    if (!UsableSerial(d.instance) || !taken.insert(key).second) {
      d.instance = d.busPath;
      taken.insert(d.vid + ":" + d.pid + ":" + upper(d.busPath));
    }
  }
  std::sort(found.begin(), found.end(), [](const UsbSerialDevice& a, const UsbSerialDevice& b) {
    if (a.vid != b.vid) return a.vid < b.vid;
    if (a.pid != b.pid) return a.pid < b.pid;
    return regtree::NameCompare(a.instance, b.instance) < 0;
  });
  return found;
}

}  // namespace kirnow::platform
