// ReadCharacterAtCursor: the display cannot be read back.
#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/command_set.h"

namespace kirnow {

int32_t POSLDisplay::ReadCharacterAtCursor(int32_t* pChar) {
  module_.trace.Record("\nReadCharacterAtCursor:", "*pChar=%d", pChar != nullptr ? *pChar : 0);
  // The display cannot be read: the cursor is placed and the answer is always the letter E.
  display::SendCursorMove(module_.Port, CurrentCursorColumn, CurrentCursorRow);
  if (pChar != nullptr) *pChar = 69;
  return OPOS_SUCCESS;
}

}  // namespace kirnow
