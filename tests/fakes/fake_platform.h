// Every platform seam as a fake, and a module state built on them.
#pragma once

#include <memory>

#include "platform/ansi/ansi_codec.h"
#include "platform/platform.h"
#include "serviceobject/core/so_state.h"
#include "tests/fakes/fixed_host.h"
#include "tests/fakes/memory_files.h"
#include "tests/fakes/memory_registry.h"
#include "tests/fakes/recording_message_box.h"
#include "tests/fakes/recording_serial_device.h"
#include "tests/fakes/scripted_clock.h"

namespace kirnow::fakes {

struct FakePlatform {
  ScriptedClock clock;
  MemoryRegistry registry;
  RecordingSerialDevice serial{clock};
  RecordingMessageBox box;
  std::unique_ptr<platform::AnsiCodec> ansi = platform::MakeSystemAnsiCodec();
  MemoryFiles files;
  FixedHost host;

  platform::Platform platform() {
    return platform::Platform{registry, serial, box, clock, *ansi, files, host};
  }
};

// A fresh module state on the fakes. Destroy it before the FakePlatform.
std::unique_ptr<ModuleState> MakeModule(FakePlatform& fakes, bool debug = false);

}  // namespace kirnow::fakes
