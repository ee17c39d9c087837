// The published OPOS values that the service object, the control object and Polecheck share:
// result codes, the property indexes the control object passes to GetPropertyNumber,
// SetPropertyNumber, GetPropertyString and SetPropertyString, and the line display's constants.
#pragma once

#include <cstdint>

namespace kirnow {

// Result codes.
inline constexpr int32_t OPOS_SUCCESS = 0;
inline constexpr int32_t OPOS_E_CLOSED = 101;
inline constexpr int32_t OPOS_E_NOSERVICE = 104;
inline constexpr int32_t OPOS_E_ILLEGAL = 106;
inline constexpr int32_t OPOS_E_OFFLINE = 108;
inline constexpr int32_t OPOS_E_NOEXIST = 109;
inline constexpr int32_t OPOS_E_FAILURE = 111;

// Device state, power state and power reporting.
inline constexpr int32_t OPOS_S_IDLE = 2;
inline constexpr int32_t OPOS_PS_UNKNOWN = 2000;
inline constexpr int32_t OPOS_PR_STANDARD = 1;

// Text attributes, marquee types and scroll directions.
inline constexpr int32_t DISP_DT_NORMAL = 0;
inline constexpr int32_t DISP_DT_BLINK = 1;
inline constexpr int32_t DISP_DT_REVERSE = 2;
inline constexpr int32_t DISP_DT_BLINK_REVERSE = 3;

inline constexpr int32_t DISP_MT_NONE = 0;
inline constexpr int32_t DISP_MT_UP = 1;
inline constexpr int32_t DISP_MT_DOWN = 2;
inline constexpr int32_t DISP_MT_LEFT = 3;
inline constexpr int32_t DISP_MT_RIGHT = 4;
inline constexpr int32_t DISP_MT_INIT = 5;

inline constexpr int32_t DISP_MF_WALK = 0;  // marquee format
inline constexpr int32_t DISP_CT_NONE = 0;  // cursor type

inline constexpr int32_t DISP_ST_UP = 1;
inline constexpr int32_t DISP_ST_DOWN = 2;
inline constexpr int32_t DISP_ST_LEFT = 3;
inline constexpr int32_t DISP_ST_RIGHT = 4;

inline constexpr int32_t PIDX_NUMBER = 0;
inline constexpr int32_t PIDX_STRING = 1000000;
inline constexpr int32_t PIDX_DISP = 5000;

// Common numeric properties.
inline constexpr int32_t PIDX_Claimed = PIDX_NUMBER + 1;
inline constexpr int32_t PIDX_DataEventEnabled = PIDX_NUMBER + 2;
inline constexpr int32_t PIDX_DeviceEnabled = PIDX_NUMBER + 3;
inline constexpr int32_t PIDX_FreezeEvents = PIDX_NUMBER + 4;
inline constexpr int32_t PIDX_OutputID = PIDX_NUMBER + 5;
inline constexpr int32_t PIDX_ResultCode = PIDX_NUMBER + 6;
inline constexpr int32_t PIDX_ResultCodeExtended = PIDX_NUMBER + 7;
inline constexpr int32_t PIDX_ServiceObjectVersion = PIDX_NUMBER + 8;
inline constexpr int32_t PIDX_State = PIDX_NUMBER + 9;
inline constexpr int32_t PIDX_AutoDisable = PIDX_NUMBER + 10;
inline constexpr int32_t PIDX_BinaryConversion = PIDX_NUMBER + 11;
inline constexpr int32_t PIDX_DataCount = PIDX_NUMBER + 12;
inline constexpr int32_t PIDX_PowerNotify = PIDX_NUMBER + 13;
inline constexpr int32_t PIDX_PowerState = PIDX_NUMBER + 14;
inline constexpr int32_t PIDX_CapPowerReporting = PIDX_NUMBER + 501;

// Common string properties.
inline constexpr int32_t PIDX_CheckHealthText = PIDX_STRING + 1;
inline constexpr int32_t PIDX_DeviceDescription = PIDX_STRING + 2;
inline constexpr int32_t PIDX_DeviceName = PIDX_STRING + 3;
inline constexpr int32_t PIDX_ServiceObjectDescription = PIDX_STRING + 4;

// Line display numeric properties.
inline constexpr int32_t PIDXDisp_CharacterSet = PIDX_DISP + PIDX_NUMBER + 1;
inline constexpr int32_t PIDXDisp_Columns = PIDX_DISP + PIDX_NUMBER + 2;
inline constexpr int32_t PIDXDisp_CurrentWindow = PIDX_DISP + PIDX_NUMBER + 3;
inline constexpr int32_t PIDXDisp_CursorColumn = PIDX_DISP + PIDX_NUMBER + 4;
inline constexpr int32_t PIDXDisp_CursorRow = PIDX_DISP + PIDX_NUMBER + 5;
inline constexpr int32_t PIDXDisp_CursorUpdate = PIDX_DISP + PIDX_NUMBER + 6;
inline constexpr int32_t PIDXDisp_DeviceBrightness = PIDX_DISP + PIDX_NUMBER + 7;
inline constexpr int32_t PIDXDisp_DeviceColumns = PIDX_DISP + PIDX_NUMBER + 8;
inline constexpr int32_t PIDXDisp_DeviceDescriptors = PIDX_DISP + PIDX_NUMBER + 9;
inline constexpr int32_t PIDXDisp_DeviceRows = PIDX_DISP + PIDX_NUMBER + 10;
inline constexpr int32_t PIDXDisp_DeviceWindows = PIDX_DISP + PIDX_NUMBER + 11;
inline constexpr int32_t PIDXDisp_InterCharacterWait = PIDX_DISP + PIDX_NUMBER + 12;
inline constexpr int32_t PIDXDisp_MarqueeRepeatWait = PIDX_DISP + PIDX_NUMBER + 13;
inline constexpr int32_t PIDXDisp_MarqueeType = PIDX_DISP + PIDX_NUMBER + 14;
inline constexpr int32_t PIDXDisp_MarqueeUnitWait = PIDX_DISP + PIDX_NUMBER + 15;
inline constexpr int32_t PIDXDisp_Rows = PIDX_DISP + PIDX_NUMBER + 16;
inline constexpr int32_t PIDXDisp_MarqueeFormat = PIDX_DISP + PIDX_NUMBER + 17;
inline constexpr int32_t PIDXDisp_BlinkRate = PIDX_DISP + PIDX_NUMBER + 18;
inline constexpr int32_t PIDXDisp_CursorType = PIDX_DISP + PIDX_NUMBER + 19;
inline constexpr int32_t PIDXDisp_GlyphHeight = PIDX_DISP + PIDX_NUMBER + 20;
inline constexpr int32_t PIDXDisp_GlyphWidth = PIDX_DISP + PIDX_NUMBER + 21;

// Line display capabilities.
inline constexpr int32_t PIDXDisp_CapBlink = PIDX_DISP + PIDX_NUMBER + 501;
inline constexpr int32_t PIDXDisp_CapBrightness = PIDX_DISP + PIDX_NUMBER + 502;
inline constexpr int32_t PIDXDisp_CapCharacterSet = PIDX_DISP + PIDX_NUMBER + 503;
inline constexpr int32_t PIDXDisp_CapDescriptors = PIDX_DISP + PIDX_NUMBER + 504;
inline constexpr int32_t PIDXDisp_CapHMarquee = PIDX_DISP + PIDX_NUMBER + 505;
inline constexpr int32_t PIDXDisp_CapICharWait = PIDX_DISP + PIDX_NUMBER + 506;
inline constexpr int32_t PIDXDisp_CapVMarquee = PIDX_DISP + PIDX_NUMBER + 507;
inline constexpr int32_t PIDXDisp_CapBlinkRate = PIDX_DISP + PIDX_NUMBER + 508;
inline constexpr int32_t PIDXDisp_CapCursorType = PIDX_DISP + PIDX_NUMBER + 509;
inline constexpr int32_t PIDXDisp_CapCustomGlyph = PIDX_DISP + PIDX_NUMBER + 510;
inline constexpr int32_t PIDXDisp_CapReadBack = PIDX_DISP + PIDX_NUMBER + 511;
inline constexpr int32_t PIDXDisp_CapReverse = PIDX_DISP + PIDX_NUMBER + 512;

// Line display string properties.
inline constexpr int32_t PIDXDisp_CharacterSetList = PIDX_STRING + PIDX_DISP + 1;
inline constexpr int32_t PIDXDisp_CustomGlyphList = PIDX_STRING + PIDX_DISP + 2;

// Capability values of this display (2 x 20 vacuum-fluorescent pole display).
inline constexpr int32_t DISP_CB_BLINKALL = 1;
inline constexpr int32_t DISP_CCS_ASCII = 998;
inline constexpr int32_t DISP_CCT_NONE = 0;
inline constexpr int32_t DISP_CRB_SINGLE = 1;
inline constexpr int32_t DISP_CR_REVERSEALL = 1;
inline constexpr int32_t DISP_CS_ASCII = 998;  // the character set in use

}  // namespace kirnow
