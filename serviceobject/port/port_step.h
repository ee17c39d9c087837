// What writers hand the port's owner: a unit of output (a command, a frame, a text's bytes) or
// one of the port's own steps (open, confirm, close, the identity exchange, a look at the
// screen's model). A step is shared by its writer, who waits for it, and the owner's queue;
// the owner marks it done once it is served or dropped.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "displaymodel/display_model.h"
#include "displaymodel/pole_commands.h"

namespace kirnow::port {

// The bytes of one unit and the wait after each byte from `gapFrom` on (a text's
// inter-character wait). Commands are added with the same calls as they would be sent.
struct Unit {
  std::vector<uint8_t> bytes;
  size_t gapFrom = 0;
  uint32_t gapMs = 0;

  // Byte by byte: GCC 12 at -O3 takes a range insert of a short array for an overflow.
  void SendData(const uint8_t* data, int32_t length) {
    for (int32_t i = 0; data != nullptr && i < length; ++i) bytes.push_back(data[i]);
  }
  template <size_t N>
  void SendData(const std::array<uint8_t, N>& command) {
    SendData(command.data(), static_cast<int32_t>(N));
  }
  void SendByte(uint8_t byte) { bytes.push_back(byte); }
  // Every byte added from here on is followed by a wait of `ms`.
  void GapFromHere(uint32_t ms) {
    gapFrom = bytes.size();
    gapMs = ms;
  }
};

// How an open confirms that the device it opened is the display before anything but the
// identity query reaches it.
enum class Confirmation {
  Later,         // the caller asks the device itself and confirms (OpenService)
  RecordOrQuery  // the USB record, or where it cannot tell, the identity exchange (ClaimDevice)
};

// The two answers of one identity exchange, and whether either was the display's.
struct IdentityReplies {
  pole::IdentityAnswer first{};
  pole::IdentityAnswer second{};
  bool display = false;
};

struct Step {
  enum class Kind { Send, Open, Confirm, Close, Identify, Screen };
  explicit Step(Kind k) : kind(k) {}

  const Kind kind;
  Unit unit;                           // Send
  int32_t portNumber = 0, baud = 0;    // Open
  Confirmation confirmation{};         // Open
  uint8_t inByte = 0;                  // Identify: the reads' carry, in and out
  std::atomic<bool> abandoned{false};  // set by a writer that no longer waits for it
  // Filled by the owner before `pending` is cleared.
  bool ok = false;                                     // Open: open and confirmed afterwards
  size_t unsent = 0;                                   // Send: bytes that did not reach the wire
  uint32_t baudUsed = 0;                               // Send: the rate the port ran at
  IdentityReplies replies;                             // Identify
  std::unique_ptr<displaymodel::DisplayModel> screen;  // Screen
  std::atomic<int32_t> pending{1};  // cleared once served (the writer's wait flag)
};

}  // namespace kirnow::port
