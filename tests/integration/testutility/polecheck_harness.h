// Runs the built polecheck program against a registry store with the library registered and the
// virtual pole display behind COM5.
#pragma once

#include <string>
#include <vector>

#include "virtual_display.h"

namespace kirnow::it {

struct ProgramResult {
  int status = -1;  // exit status, or -1 when it did not end in time
  std::string out, err;
};

// Runs `argv` with extra environment entries ("NAME=value"), waits at most timeoutMs.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int timeoutMs);

// Path of a built program or library in $KIRNOW_BIN_DIR; empty when it is not there.
std::string BuiltFile(const std::string& name);

// What a Polecheck run needs: why it cannot run (empty when it can).
std::string MissingPieces();

// The registry store with the device entry, the display on COM5 and the library registered.
// Returns an explanation on failure.
std::string PrepareStore(TestRegistryFile& store, const VirtualDisplay& display);
// The same for a display on the given device path (a virtual display started another way).
std::string PrepareStore(TestRegistryFile& store, const std::string& displayDevice);

// Whether `haystack` holds `needle` as a contiguous run.
bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle);
std::vector<uint8_t> Bytes(const std::string& text);

}  // namespace kirnow::it
