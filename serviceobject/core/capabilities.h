// What this display can do, in one place: GetPropertyNumber answers the display's capabilities
// from here, before a session too; OpenService copies only CapPowerReporting into the object,
// whose field reads 0 until then.
#pragma once

#include <cstdint>

#include "opos/opos_constants.h"

namespace kirnow {

struct DisplayCapabilities {
  int32_t CapPowerReporting = OPOS_PR_STANDARD;
  int32_t CapBlink = DISP_CB_BLINKALL;
  int32_t CapCharacterSet = DISP_CCS_ASCII;
  int32_t CapCursorType = DISP_CCT_NONE;
  int32_t CapReadBack = DISP_CRB_SINGLE;
  int32_t CapReverse = DISP_CR_REVERSEALL;
  int16_t CapBlinkRate = 1;
  int16_t CapBrightness = 1;
  int16_t CapCustomGlyph = 1;
  int16_t CapDescriptors = 1;
  int16_t CapHMarquee = 0;
  int16_t CapICharWait = 1;
  int16_t CapVMarquee = 1;
};

inline constexpr DisplayCapabilities kCapabilities{};

}  // namespace kirnow
