// The display's commands as the service object sends them: each is encoded by the display's
// command set (displaymodel/pole_commands.h) and goes out as one unit through the port's
// SendData; a caller that sends several commands as one unit holds the port's frame lock
// around them.
#pragma once

#include <cstdint>
#include <string_view>

#include "displaymodel/pole_commands.h"
#include "serviceobject/core/serial_port.h"

namespace kirnow::display {

inline constexpr uint8_t kClearDisplay = pole::kClear;
inline constexpr uint8_t kMarkerByte = pole::kMarkerByte;
inline constexpr int32_t kDisplayColumns = pole::kColumns;
inline constexpr int32_t kDisplayRows = pole::kRows;

// Characters, sent as they are.
inline void SendText(SerialPort& port, std::string_view text) {
  port.SendData(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
}

inline void SendCursorMove(SerialPort& port, int32_t column, int32_t row) {
  port.SendData(pole::CursorMove(column, row));
}
inline void SendBlink(SerialPort& port, uint8_t interval) { port.SendData(pole::Blink(interval)); }
inline void SendReverse(SerialPort& port, uint8_t on) { port.SendData(pole::Reverse(on)); }
inline void SendBrightness(SerialPort& port, uint8_t level) {
  port.SendData(pole::Brightness(level));
}
inline void SendInitialize(SerialPort& port) { port.SendData(pole::Initialize()); }
inline void SendCharacterSet(SerialPort& port, uint8_t userDefined) {
  port.SendData(pole::CharacterSet(userDefined));
}
inline void SendDefineCharacters(SerialPort& port, uint8_t first, uint8_t last) {
  port.SendData(pole::DefineCharacters(first, last));
}

}  // namespace kirnow::display
