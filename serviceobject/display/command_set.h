// The display's commands as the service object sends them: each is encoded by the display's
// command set (displaymodel/pole_commands.h) and goes to `out`: the port, where it goes out as
// one unit, or a port::Unit that a caller fills with several commands and hands the port whole.
#pragma once

#include <cstdint>
#include <string_view>

#include "displaymodel/pole_commands.h"
#include "serviceobject/port/port_step.h"
#include "serviceobject/port/serial_port.h"

namespace kirnow::display {

inline constexpr uint8_t kClearDisplay = pole::kClear;
inline constexpr uint8_t kMarkerByte = pole::kMarkerByte;
inline constexpr int32_t kDisplayColumns = pole::kColumns;
inline constexpr int32_t kDisplayRows = pole::kRows;

// Characters, sent as they are.
template <class Out>
inline void SendText(Out& port, std::string_view text) {
  port.SendData(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
}

template <class Out>
inline void SendCursorMove(Out& port, int32_t column, int32_t row) {
  port.SendData(pole::CursorMove(column, row));
}
template <class Out>
inline void SendBlink(Out& port, uint8_t interval) {
  port.SendData(pole::Blink(interval));
}
template <class Out>
inline void SendReverse(Out& port, uint8_t on) {
  port.SendData(pole::Reverse(on));
}
template <class Out>
inline void SendBrightness(Out& port, uint8_t level) {
  port.SendData(pole::Brightness(level));
}
template <class Out>
inline void SendInitialize(Out& port) {
  port.SendData(pole::Initialize());
}
template <class Out>
inline void SendCharacterSet(Out& port, uint8_t userDefined) {
  port.SendData(pole::CharacterSet(userDefined));
}
template <class Out>
inline void SendDefineCharacters(Out& port, uint8_t first, uint8_t last) {
  port.SendData(pole::DefineCharacters(first, last));
}

}  // namespace kirnow::display
