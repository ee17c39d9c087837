// GetPropertyNumber and SetPropertyNumber: the numeric OPOS properties by property index.
//
// Values live in the object's fields, in the current window's record, or in both. A write
// updates both where a value is held twice (CursorUpdate only in the object); a read answers
// from the object, except Columns, Rows, CursorRow and CursorColumn, which come from the record.
// OPOS boolean properties are 16-bit fields: a write keeps the low 16 bits, a read sign-extends.
#include <cstdint>
#include <optional>

#include "opos/opos_constants.h"
#include "serviceobject/core/capabilities.h"
#include "serviceobject/core/library_name.h"
#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/command_set.h"
#include "serviceobject/display/display_engine.h"
#include "serviceobject/display/window_copies.h"

namespace kirnow {
namespace {

int16_t Low16(int32_t number) { return static_cast<int16_t>(static_cast<uint16_t>(number)); }

uint8_t LowByte(int32_t number) { return static_cast<uint8_t>(static_cast<uint32_t>(number)); }

// The display counts rows and columns from 1; the record's value goes out plus one, low byte
// only (computed unsigned so that any stored value is safe).
uint8_t OneBased(int32_t number) {
  return static_cast<uint8_t>(static_cast<uint32_t>(number) + 1u);
}

std::optional<int32_t> ReadNumber(POSLDisplay& so, int32_t index) {
  switch (index) {
    case PIDX_Claimed:
      return so.Claimed;
    case PIDX_DataEventEnabled:
      return so.DataEventEnabled;
    case PIDX_DeviceEnabled:
      return so.DeviceEnabled;
    case PIDX_FreezeEvents:
      return so.FreezeEvents;
    case PIDX_OutputID:
      return so.OutputID;
    case PIDX_ResultCode:
      return so.ResultCode;
    case PIDX_ResultCodeExtended:
      return so.ResultCodeExtended;
    case PIDX_ServiceObjectVersion:
      return so.ServiceObjectVersion;
    case PIDX_State:
      return so.State;
    case PIDX_AutoDisable:
      return so.AutoDisable;
    case PIDX_BinaryConversion:
      return so.BinaryConversion;
    case PIDX_DataCount:
      return so.DataCount;
    case PIDX_PowerNotify:
      return so.PowerNotify;
    case PIDX_PowerState:
      return so.PowerState;
    case PIDX_CapPowerReporting:
      return so.CapPowerReporting;

    case PIDXDisp_CharacterSet:
      return so.CharacterSet;
    case PIDXDisp_Columns: {
      // A window wider than the display reads as the display's width from now on.
      WindowRecord& window = so.CurrentRecord();
      if (window.WindowWidth > display::kDisplayColumns)
        window.WindowWidth = display::kDisplayColumns;
      return window.WindowWidth.load();
    }
    case PIDXDisp_CurrentWindow:
      return so.CurrentWindow;
    case PIDXDisp_CursorColumn:
      return so.CurrentRecord().CursorColumn.load();
    case PIDXDisp_CursorRow:
      return so.CurrentRecord().CursorRow.load();
    case PIDXDisp_CursorUpdate:
      return so.CursorUpdate;
    case PIDXDisp_DeviceBrightness:
      return so.DeviceBrightness;
    case PIDXDisp_DeviceColumns:
      return so.DeviceColumns;
    case PIDXDisp_DeviceDescriptors:
      return so.DeviceDescriptors;
    case PIDXDisp_DeviceRows:
      return so.DeviceRows;
    case PIDXDisp_DeviceWindows:
      return so.DeviceWindows;
    case PIDXDisp_InterCharacterWait:
      return so.InterCharacterWait;
    case PIDXDisp_MarqueeRepeatWait:
      return so.MarqueeRepeatWait;
    case PIDXDisp_MarqueeType:
      return so.MarqueeType;
    case PIDXDisp_MarqueeUnitWait:
      return so.MarqueeUnitWait;
    case PIDXDisp_Rows:
      return so.CurrentRecord().WindowHeight.load();
    case PIDXDisp_MarqueeFormat:
      return so.MarqueeFormat;
    case PIDXDisp_BlinkRate:
      return so.BlinkRate;
    case PIDXDisp_CursorType:
      return so.CursorType;
    case PIDXDisp_GlyphHeight:
      return so.GlyphHeight;
    case PIDXDisp_GlyphWidth:
      return so.GlyphWidth;

    // The display's capabilities, whether a session has copied them into the fields or not.
    case PIDXDisp_CapBlink:
      return kCapabilities.CapBlink;
    case PIDXDisp_CapBrightness:
      return kCapabilities.CapBrightness;
    case PIDXDisp_CapCharacterSet:
      return kCapabilities.CapCharacterSet;
    case PIDXDisp_CapDescriptors:
      return kCapabilities.CapDescriptors;
    case PIDXDisp_CapHMarquee:
      return kCapabilities.CapHMarquee;
    case PIDXDisp_CapICharWait:
      return kCapabilities.CapICharWait;
    case PIDXDisp_CapVMarquee:
      return kCapabilities.CapVMarquee;
    case PIDXDisp_CapBlinkRate:
      return kCapabilities.CapBlinkRate;
    case PIDXDisp_CapCursorType:
      return kCapabilities.CapCursorType;
    case PIDXDisp_CapCustomGlyph:
      return kCapabilities.CapCustomGlyph;
    case PIDXDisp_CapReadBack:
      return kCapabilities.CapReadBack;
    case PIDXDisp_CapReverse:
      return kCapabilities.CapReverse;
    default:
      return std::nullopt;
  }
}

// Moves the display's cursor to the current window's cursor (one unit, so that a marquee or
// blink worker's frame cannot split the command).
void SendCursorMove(POSLDisplay& so) {
  const WindowRecord& window = so.CurrentRecord();
  display::SendCursorMove(so.module().Port, OneBased(window.CursorColumn),
                          OneBased(window.CursorRow));
}

// Carries out a write; false when the index is read-only or unknown (nothing was stored).
bool WriteNumber(POSLDisplay& so, int32_t index, int32_t number) {
  switch (index) {
    case PIDX_DataEventEnabled:
      so.DataEventEnabled = Low16(number);
      return true;
    case PIDX_DeviceEnabled:
      so.DeviceEnabled = Low16(number);
      return true;
    case PIDX_FreezeEvents:
      so.FreezeEvents = Low16(number);
      return true;
    case PIDX_AutoDisable:
      so.AutoDisable = Low16(number);
      return true;
    case PIDX_BinaryConversion:
      so.BinaryConversion = number;
      return true;
    case PIDX_PowerNotify:
      so.PowerNotify = number;
      return true;
    case PIDXDisp_CharacterSet:
      so.CharacterSet = number;
      return true;

    case PIDXDisp_CurrentWindow:
      // The table has kWindowCount records; a selection outside it is ignored (nothing is
      // stored, reloaded or sent), as RefreshWindow and CreateWindow do.
      if (number >= 0 && number < kWindowCount) {
        so.CurrentWindow = number;
        display::LoadWindowCopies(so, so.CurrentRecord(), display::WindowLoad::Select);
      }
      return true;
    case PIDXDisp_CursorColumn:
      so.CurrentCursorColumn = number;
      so.CurrentRecord().CursorColumn = number;
      SendCursorMove(so);
      return true;
    case PIDXDisp_CursorRow:
      so.CurrentCursorRow = number;
      so.CurrentRecord().CursorRow = number;
      SendCursorMove(so);
      return true;
    case PIDXDisp_CursorUpdate:
      so.CursorUpdate = Low16(number);
      return true;
    case PIDXDisp_DeviceBrightness:
      so.DeviceBrightness = number;
      display::SendBrightness(so.module().Port, LowByte(so.DeviceBrightness));
      return true;

    case PIDXDisp_InterCharacterWait:
      so.InterCharacterWait = number;
      so.CurrentRecord().InterCharacterWait = number;
      return true;
    case PIDXDisp_MarqueeRepeatWait:
      so.MarqueeRepeatWait = number;
      so.CurrentRecord().MarqueeRepeatWait = number;
      return true;
    case PIDXDisp_MarqueeType:
      so.MarqueeType = number;
      so.CurrentRecord().MarqueeType = number;
      MarqueeControl(so, number);
      return true;
    case PIDXDisp_MarqueeUnitWait:
      so.MarqueeUnitWait = number;
      so.CurrentRecord().MarqueeUnitWait = number;
      return true;
    case PIDXDisp_MarqueeFormat:
      so.MarqueeFormat = number;
      so.CurrentRecord().MarqueeFormat = number;
      return true;
    case PIDXDisp_BlinkRate:
      so.BlinkRate = number;
      so.CurrentRecord().BlinkRate = number;
      return true;
    case PIDXDisp_CursorType:
      so.CursorType = number;
      so.CurrentRecord().CursorType = number;
      return true;
    default:
      return false;
  }
}

}  // namespace

void POSLDisplay::GetPropertyNumber(int32_t PropIndex, int32_t* pNumber) {
  module().trace.Record("\nGetPropertyNumber:", "PropIndex=%d,*pNumber=%d", PropIndex,
                        pNumber ? *pNumber : 0);
  if (pNumber == nullptr) return;
  if (const std::optional<int32_t> value = ReadNumber(*this, PropIndex)) *pNumber = *value;
}

void POSLDisplay::SetPropertyNumber(int32_t PropIndex, int32_t Number) {
  module().trace.Record("\nSetPropertyNumber:", "PropIndex=%d,Number=%d", PropIndex, Number);
  if (!WriteNumber(*this, PropIndex, Number)) {
    module().platform.messageBox.Show("set error", LibraryBaseName());
  }
}

}  // namespace kirnow
