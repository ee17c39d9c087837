// The pole display's facts in one place: its size and its command bytes, with an encoder for
// every command the service object sends. The service object sends what these encoders make,
// the display model decodes by the same byte values, and the repaint after a reconnect is built
// from them, so a command can only be changed here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kirnow::pole {

// The screen: two lines of twenty characters; rows and columns on the wire count from 1.
inline constexpr int32_t kRows = 2;
inline constexpr int32_t kColumns = 20;
// A user-defined character is 5 dots wide and one byte high.
inline constexpr int32_t kGlyphColumns = 5;

// Command prefixes and the single-byte command.
inline constexpr uint8_t kEsc = 0x1B;    // ESC: initialise, character sets
inline constexpr uint8_t kUs = 0x1F;     // US: cursor, blink, reverse, brightness
inline constexpr uint8_t kGs = 0x1D;     // GS: identification
inline constexpr uint8_t kClear = 0x0C;  // clears the screen

// The byte after the prefix.
inline constexpr uint8_t kInitialize = 0x40;        // ESC 40
inline constexpr uint8_t kCharacterSet = 0x25;      // ESC 25 n
inline constexpr uint8_t kDefineCharacters = 0x26;  // ESC 26 01 c1 c2, then the definitions
inline constexpr uint8_t kCursorMove = 0x24;        // US 24 column row
inline constexpr uint8_t kBlink = 0x45;             // US 45 n
inline constexpr uint8_t kReverse = 0x72;           // US 72 n
inline constexpr uint8_t kBrightness = 0x58;        // US 58 n
inline constexpr uint8_t kIdentify = 0x49;          // GS 49 02
inline constexpr uint8_t kIdentifyArgument = 0x02;

// The character that DefineGlyph replaces by the user's definition.
inline constexpr uint8_t kMarkerByte = 0x5F;
// A display blinks with n x 50 ms on and n x 50 ms off for US 45 n.
inline constexpr int32_t kBlinkUnitMs = 50;

using Command2 = std::array<uint8_t, 2>;
using Command3 = std::array<uint8_t, 3>;
using Command4 = std::array<uint8_t, 4>;
using Command5 = std::array<uint8_t, 5>;

// Initialise: clears the screen and resets the display's modes.
constexpr Command2 Initialize() { return {kEsc, kInitialize}; }
// The user-defined character set (1) or the built-in one (0).
constexpr Command3 CharacterSet(uint8_t userDefined) { return {kEsc, kCharacterSet, userDefined}; }
// Define the characters `first` to `last`, one byte high; each definition follows as its width
// and that many column bytes.
constexpr Command5 DefineCharacters(uint8_t first, uint8_t last) {
  return {kEsc, kDefineCharacters, 0x01, first, last};
}
// The next character goes to `column` of `row` (both from 1; the low byte of each goes out).
constexpr Command4 CursorMove(int32_t column, int32_t row) {
  return {kUs, kCursorMove, static_cast<uint8_t>(column), static_cast<uint8_t>(row)};
}
// Blinking with interval n; 0 ends it.
constexpr Command3 Blink(uint8_t interval) { return {kUs, kBlink, interval}; }
// Characters written afterwards appear reversed (1) or normal (0).
constexpr Command3 Reverse(uint8_t on) { return {kUs, kReverse, on}; }
// The brightness level n.
constexpr Command3 Brightness(uint8_t level) { return {kUs, kBrightness, level}; }
// Asks the display for its identity: it answers "PID:" and its four-digit product id, the
// answer's 8 bytes, within kIdentityAnswerMs. One that did not may be asked again after
// kIdentityRetryPauseMs (it may still be starting up).
constexpr Command3 IdentityQuery() { return {kGs, kIdentify, kIdentifyArgument}; }
inline constexpr std::string_view kIdentityAnswerPrefix = "PID:";
using IdentityAnswer = std::array<uint8_t, 8>;
inline constexpr uint32_t kIdentityAnswerMs = 200;
inline constexpr uint32_t kIdentityRetryPauseMs = 100;

// True when `reply` is the answer of the display whose product id is `productId`.
constexpr bool IsIdentityAnswer(const IdentityAnswer& reply, std::string_view productId) {
  if (kIdentityAnswerPrefix.size() + productId.size() != reply.size()) return false;
  for (size_t i = 0; i < reply.size(); ++i) {
    const char want = i < kIdentityAnswerPrefix.size()
                          ? kIdentityAnswerPrefix[i]
                          : productId[i - kIdentityAnswerPrefix.size()];
    if (reply[i] != static_cast<uint8_t>(want)) return false;
  }
  return true;
}

}  // namespace kirnow::pole
