// Builds the message for a tty this user may not open. See tty_permission.h.
#include "platform/serial/posix/tty_permission.h"

#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/registry/com_names.h"

namespace kirnow::platform {
namespace {

constexpr const char* kSerialGroup = "dialout";

std::string GroupName(gid_t gid) {
  std::vector<char> buf(4096);
  group g{};
  group* found = nullptr;
  if (getgrgid_r(gid, &g, buf.data(), buf.size(), &found) == 0 && found != nullptr) {
    return found->gr_name;
  }
  return std::to_string(gid);
}

std::string UserName() {
  std::vector<char> buf(4096);
  passwd p{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &p, buf.data(), buf.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return "$USER";
}

// The sentence, from the tty the path leads to (empty when it is the path itself), the device's
// group and the user's name.
std::string PermissionText(const std::string& path, const std::string& tty, int32_t portNumber,
                           const std::string& group, const std::string& user) {
  std::string text = comnames::ComName(portNumber) + " is " + path;
  if (!tty.empty()) text += " (" + tty + ")";
  text += ", which user " + user + " may not open: it belongs to the group \"" + group + "\".";
  const std::string join = "sudo usermod -aG " + std::string(kSerialGroup) + " " + user;
  if (group == kSerialGroup) {
    return text + " Add the user to that group (" + join + ") and log in again.";
  }
  if (group == "root") {
    return text +
           " Install the display's udev rule (packaging/linux), which gives it to the group "
           "\"" +
           kSerialGroup + "\", add the user to that group (" + join + ") and log in again.";
  }
  return text + " Add the user to that group (sudo usermod -aG " + group + " " + user +
         ") and log in again.";
}

}  // namespace

std::string PermissionProblem(const std::string& path, int32_t portNumber) {
  struct stat st {};
  const std::string group = stat(path.c_str(), &st) == 0 ? GroupName(st.st_gid) : "?";
  char real[PATH_MAX];
  std::string tty;
  if (realpath(path.c_str(), real) != nullptr && path != real) tty = real;
  return PermissionText(path, tty, portNumber, group, UserName());
}

}  // namespace kirnow::platform
