// What to tell a user whose tty can't be opened for lack of permission: the device, the group it
// belongs to, and how to get access (the group "dialout", which the display's udev rule gives it).
#pragma once

#include <cstdint>
#include <string>

namespace kirnow::platform {

// For COM<portNumber> at `path`, which open() refused with EACCES or EPERM.
std::string PermissionProblem(const std::string& path, int32_t portNumber);

}  // namespace kirnow::platform
