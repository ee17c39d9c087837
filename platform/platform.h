// The set of platform services one loaded library uses. The library builds it from the system
// implementations; tests build it from fakes.
#pragma once

#include "platform/ansi/ansi_codec.h"
#include "platform/clock/clock.h"
#include "platform/files/files.h"
#include "platform/host/host.h"
#include "platform/messagebox/message_box.h"
#include "platform/registry/registry.h"
#include "platform/serial/serial_device.h"

namespace kirnow::platform {

struct Platform {
  Registry& registry;
  SerialDevice& serial;
  MessageBoxSink& messageBox;
  Clock& clock;
  AnsiCodec& ansi;
  Files& files;  // the field trace's files
  Host& host;    // what the field trace tells of the machine and process
};

}  // namespace kirnow::platform
