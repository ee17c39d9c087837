// The Linux serial device: a tty driven with termios, found at each Open through the lookup it
// is given (the system's maps COMn through the registry's SERIALCOMM).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/serial/serial_device.h"

namespace kirnow::platform {

// The path of the device that COM<n> maps to; nullopt when none does.
using ComPathLookup = std::function<std::optional<std::string>(int32_t n)>;

std::unique_ptr<SerialDevice> MakeTtySerialDevice(ComPathLookup pathOf);

}  // namespace kirnow::platform
