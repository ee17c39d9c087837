// The display's command set. Every command goes out byte by byte through the port's SendByte;
// a caller that sends several commands as one unit holds the port's frame lock around them.
#pragma once

#include <cstdint>

#include "serviceobject/core/serial_port.h"

namespace kirnow::display {

inline constexpr uint8_t kClearDisplay = 0x0C;  // clears the screen
inline constexpr uint8_t kMarkerByte = 0x5F;    // the character that DefineGlyph replaces

// 1F 24 x y: the next character goes to column x of row y (both counted from 1, low bytes).
inline void SendCursorMove(SerialPort& port, int32_t column, int32_t row) {
  auto frame = port.LockFrame();
  port.SendByte(0x1F);
  port.SendByte(0x24);
  port.SendByte(static_cast<uint8_t>(column));
  port.SendByte(static_cast<uint8_t>(row));
}

// 1F 45 n: blinking with interval n; 0 ends it.
inline void SendBlink(SerialPort& port, uint8_t interval) {
  auto frame = port.LockFrame();
  port.SendByte(0x1F);
  port.SendByte(0x45);
  port.SendByte(interval);
}

// 1F 72 n: characters written afterwards appear reversed (1) or normal (0).
inline void SendReverse(SerialPort& port, uint8_t on) {
  auto frame = port.LockFrame();
  port.SendByte(0x1F);
  port.SendByte(0x72);
  port.SendByte(on);
}

// 1B 40: initialise; clears the screen and resets the display's modes.
inline void SendInitialize(SerialPort& port) {
  auto frame = port.LockFrame();
  port.SendByte(0x1B);
  port.SendByte(0x40);
}

// 1B 25 n: the user-defined character set (1) or the built-in one (0).
inline void SendCharacterSet(SerialPort& port, uint8_t userDefined) {
  auto frame = port.LockFrame();
  port.SendByte(0x1B);
  port.SendByte(0x25);
  port.SendByte(userDefined);
}

// 1B 26 01 c1 c2: define the characters c1 to c2, one byte high, from the bytes that follow.
inline void SendDefineCharacters(SerialPort& port, uint8_t first, uint8_t last) {
  auto frame = port.LockFrame();
  port.SendByte(0x1B);
  port.SendByte(0x26);
  port.SendByte(0x01);
  port.SendByte(first);
  port.SendByte(last);
}

}  // namespace kirnow::display
