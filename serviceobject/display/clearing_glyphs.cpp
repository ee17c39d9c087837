// Clearing, scrolling, descriptors, reading back and user-defined characters.
#include <algorithm>
#include <string>

#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/command_set.h"
#include "serviceobject/display/engine_internal.h"
#include "serviceobject/display/hex_pairs.h"

namespace kirnow {

namespace {

int32_t Wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

void SendText(SerialPort& port, std::string_view text) {
  for (const char c : text) port.SendByte(static_cast<uint8_t>(c));
}

}  // namespace

int32_t POSLDisplay::ClearText() {
  ModuleState& m = module_;
  DisplayShared& d = m.display;
  m.trace.Record("\nClearText:\n");
  {
    std::lock_guard<std::mutex> hold(d.textLock);
    d.scroll_buf2.fill('\0');
    d.scroll_buf1.fill('\0');
    d.text2.fill('\0');
    d.text1.fill('\0');
  }
  if (MarqueeType == DISP_MT_NONE) {
    CurrentCursorRow = 0;
    CurrentCursorColumn = 0;
    auto frame = m.Port.LockFrame();
    display::SendInitialize(m.Port);
    display::SendCharacterSet(m.Port, 0);
    display::SendBlink(m.Port, 0);
    display::SendReverse(m.Port, 0);
  }
  d.ScrollLeftTotal = 0;
  d.ScrollRightTotal = 0;
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::ScrollText(int32_t Direction, int32_t Units) {
  ModuleState& m = module_;
  DisplayShared& d = m.display;
  m.trace.Record("\nScrollText:", "Direction=%d,Units=%d", Direction, Units);
  if (MarqueeType != DISP_MT_NONE) return OPOS_SUCCESS;
  if (Direction != DISP_ST_LEFT && Direction != DISP_ST_RIGHT) return OPOS_SUCCESS;

  // The text last written to the window, as a line buffer holds it.
  std::string text = CurrentRecord().ScrollSource;
  text = text.substr(0, std::min(text.find('\0'), display::kLineCapacity));
  const int32_t length = static_cast<int32_t>(text.size());
  const int32_t row = CurrentCursorRow;

  auto frame = m.Port.LockFrame();
  m.Port.SendByte(display::kClearDisplay);
  if (Direction == DISP_ST_LEFT) {
    CurrentCursorColumn = Wrap(static_cast<int64_t>(CurrentCursorColumn) - Units);
    if (CurrentCursorColumn >= 1) {
      display::SendCursorMove(m.Port, CurrentCursorColumn, row);
      SendText(m.Port, text);
    } else {
      // Past the left edge: the text loses as many leading characters as have been scrolled
      // past it since the last ClearText.
      CurrentCursorColumn = 1;
      display::SendCursorMove(m.Port, 1, row);
      d.ScrollLeftTotal = Wrap(static_cast<int64_t>(d.ScrollLeftTotal) + Units);
      const int32_t from = std::max(d.ScrollLeftTotal, 0);
      if (from < length) SendText(m.Port, std::string_view(text).substr(static_cast<size_t>(from)));
    }
  } else {
    CurrentCursorColumn = Wrap(static_cast<int64_t>(CurrentCursorColumn) + Units);
    display::SendCursorMove(m.Port, CurrentCursorColumn, row);
    if (static_cast<int64_t>(CurrentCursorColumn) + length <= display::kDisplayColumns) {
      SendText(m.Port, text);
    } else {
      // Past the right edge: the text loses as many trailing characters as have been scrolled
      // past it since the last ClearText (never more than it has, never fewer than none).
      d.ScrollRightTotal = Wrap(static_cast<int64_t>(d.ScrollRightTotal) + Units);
      const int64_t last = std::min<int64_t>(static_cast<int64_t>(length) - d.ScrollRightTotal,
                                             static_cast<int64_t>(length) - 1);
      if (last >= 0)
        SendText(m.Port, std::string_view(text).substr(0, static_cast<size_t>(last + 1)));
    }
  }
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::SetDescriptor(int32_t Descriptor, int32_t Attribute) {
  // The display has no descriptors.
  module_.trace.Record("\nSetDescriptor:", "Descriptor=%d,Attribute=%d", Descriptor, Attribute);
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::ClearDescriptors() {
  module_.trace.Record("\nClearDescriptors:\n");
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::ReadCharacterAtCursor(int32_t* pChar) {
  module_.trace.Record("\nReadCharacterAtCursor:", "*pChar=%d", pChar != nullptr ? *pChar : 0);
  // The display cannot be read: the cursor is placed and the answer is always the letter E.
  display::SendCursorMove(module_.Port, CurrentCursorColumn, CurrentCursorRow);
  if (pChar != nullptr) *pChar = 69;
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::DefineGlyph(int32_t GlyphCode, std::u16string_view Glyph) {
  ModuleState& m = module_;
  m.trace.Record("\nDefineGlyph:", [&] {
    return TraceFormat("GlyphCode=%d,Glyph=", GlyphCode) + m.platform.ansi.ToAnsi(Glyph);
  });
  // A glyph that cannot be converted is empty; a long one is cut to what the buffer holds.
  const std::string converted =
      m.platform.ansi.WideToMultibyte(Glyph, display::kLineCapacity).value_or(std::string());
  const std::string body = display::DecodeGlyphPairs(
      std::string_view(converted).substr(0, std::min(converted.size(), display::kLineCapacity)));
  // The glyph always replaces character 5F; GlyphCode is not used.
  auto frame = m.Port.LockFrame();
  display::SendDefineCharacters(m.Port, display::kMarkerByte, display::kMarkerByte);
  SendText(m.Port, body);
  display::SendCharacterSet(m.Port, 1);
  return OPOS_SUCCESS;
}

}  // namespace kirnow
