// The names of the property indexes of opos_constants.h, as the OPOS properties are called,
// for records that show an index to people (the field trace).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "opos/opos_constants.h"

namespace kirnow {

// clang-format off
inline constexpr std::array<std::pair<int32_t, std::string_view>, 54> kPropertyNames = {{
    {PIDX_Claimed, "Claimed"},
    {PIDX_DataEventEnabled, "DataEventEnabled"},
    {PIDX_DeviceEnabled, "DeviceEnabled"},
    {PIDX_FreezeEvents, "FreezeEvents"},
    {PIDX_OutputID, "OutputID"},
    {PIDX_ResultCode, "ResultCode"},
    {PIDX_ResultCodeExtended, "ResultCodeExtended"},
    {PIDX_ServiceObjectVersion, "ServiceObjectVersion"},
    {PIDX_State, "State"},
    {PIDX_AutoDisable, "AutoDisable"},
    {PIDX_BinaryConversion, "BinaryConversion"},
    {PIDX_DataCount, "DataCount"},
    {PIDX_PowerNotify, "PowerNotify"},
    {PIDX_PowerState, "PowerState"},
    {PIDX_CapPowerReporting, "CapPowerReporting"},
    {PIDX_CheckHealthText, "CheckHealthText"},
    {PIDX_DeviceDescription, "DeviceDescription"},
    {PIDX_DeviceName, "DeviceName"},
    {PIDX_ServiceObjectDescription, "ServiceObjectDescription"},
    {PIDXDisp_CharacterSet, "CharacterSet"},
    {PIDXDisp_Columns, "Columns"},
    {PIDXDisp_CurrentWindow, "CurrentWindow"},
    {PIDXDisp_CursorColumn, "CursorColumn"},
    {PIDXDisp_CursorRow, "CursorRow"},
    {PIDXDisp_CursorUpdate, "CursorUpdate"},
    {PIDXDisp_DeviceBrightness, "DeviceBrightness"},
    {PIDXDisp_DeviceColumns, "DeviceColumns"},
    {PIDXDisp_DeviceDescriptors, "DeviceDescriptors"},
    {PIDXDisp_DeviceRows, "DeviceRows"},
    {PIDXDisp_DeviceWindows, "DeviceWindows"},
    {PIDXDisp_InterCharacterWait, "InterCharacterWait"},
    {PIDXDisp_MarqueeRepeatWait, "MarqueeRepeatWait"},
    {PIDXDisp_MarqueeType, "MarqueeType"},
    {PIDXDisp_MarqueeUnitWait, "MarqueeUnitWait"},
    {PIDXDisp_Rows, "Rows"},
    {PIDXDisp_MarqueeFormat, "MarqueeFormat"},
    {PIDXDisp_BlinkRate, "BlinkRate"},
    {PIDXDisp_CursorType, "CursorType"},
    {PIDXDisp_GlyphHeight, "GlyphHeight"},
    {PIDXDisp_GlyphWidth, "GlyphWidth"},
    {PIDXDisp_CapBlink, "CapBlink"},
    {PIDXDisp_CapBrightness, "CapBrightness"},
    {PIDXDisp_CapCharacterSet, "CapCharacterSet"},
    {PIDXDisp_CapDescriptors, "CapDescriptors"},
    {PIDXDisp_CapHMarquee, "CapHMarquee"},
    {PIDXDisp_CapICharWait, "CapICharWait"},
    {PIDXDisp_CapVMarquee, "CapVMarquee"},
    {PIDXDisp_CapBlinkRate, "CapBlinkRate"},
    {PIDXDisp_CapCursorType, "CapCursorType"},
    {PIDXDisp_CapCustomGlyph, "CapCustomGlyph"},
    {PIDXDisp_CapReadBack, "CapReadBack"},
    {PIDXDisp_CapReverse, "CapReverse"},
    {PIDXDisp_CharacterSetList, "CharacterSetList"},
    {PIDXDisp_CustomGlyphList, "CustomGlyphList"},
}};
// clang-format on

// The property's name, or an empty view for an index that names none.
constexpr std::string_view PropertyName(int32_t index) {
  for (const auto& [number, name] : kPropertyNames) {
    if (number == index) return name;
  }
  return {};
}

}  // namespace kirnow
