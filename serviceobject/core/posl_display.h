// The POSLDisplay service object without its COM dress: the 27 methods of IPOSLDisplay as plain
// C++ over one ModuleState. The COM layer (Windows, or the compat layer on Linux) converts
// BSTR/VARIANT arguments and calls these. No method throws.
//
// Methods are implemented where their subject lives: session and health check in core/,
// output methods in display/, properties and events in properties/.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "serviceobject/core/so_state.h"

namespace kirnow {

class POSLDisplay : public POSLDisplayFields {
 public:
  explicit POSLDisplay(ModuleState& module) : module_(module) {}

  // Device session
  int32_t OpenService(std::u16string_view DeviceClass, std::u16string_view DeviceName,
                      void* pDispatch);
  int32_t CloseService();
  int32_t ClaimDevice(int32_t Timeout);
  int32_t ReleaseDevice();
  // Health check and direct I/O
  int32_t CheckHealth(int32_t Level);
  int32_t DirectIO(int32_t Command, int32_t* pData, std::u16string* pString);
  // Output
  int32_t DisplayText(std::u16string_view Data, int32_t Attribute);
  int32_t DisplayTextAt(int32_t Row, int32_t Column, std::u16string_view Data, int32_t Attribute);
  int32_t ClearText();
  int32_t ScrollText(int32_t Direction, int32_t Units);
  int32_t SetDescriptor(int32_t Descriptor, int32_t Attribute);
  int32_t ClearDescriptors();
  int32_t RefreshWindow(int32_t Window);
  int32_t ReadCharacterAtCursor(int32_t* pChar);
  int32_t DefineGlyph(int32_t GlyphCode, std::u16string_view Glyph);
  // Properties. GetPropertyNumber leaves *pNumber untouched for an index it does not answer;
  // GetPropertyString returns nullopt for such an index (the caller's string stays as it was).
  void GetPropertyNumber(int32_t PropIndex, int32_t* pNumber);
  void SetPropertyNumber(int32_t PropIndex, int32_t Number);
  std::optional<std::u16string> GetPropertyString(int32_t PropIndex, const std::u16string* pString);
  void SetPropertyString(int32_t PropIndex, std::u16string_view String);
  // Events and freezing
  int32_t COFreezeEvents(bool Freeze);
  // Windows
  int32_t CreateWindow(int32_t ViewportRow, int32_t ViewportColumn, int32_t ViewportHeight,
                       int32_t ViewportWidth, int32_t WindowHeight, int32_t WindowWidth);
  int32_t DestroyWindow();
  void SOData(int32_t Status);
  void SODirectIO(int32_t EventNumber, int32_t* pData, std::u16string* pString);
  void SOError(int32_t ResultCode, int32_t ResultCodeExtended, int32_t ErrorLocus,
               int32_t* pErrorResponse);
  void SOOutputComplete(int32_t OutputID);
  void SOStatusUpdate(int32_t Data);

  ModuleState& module() { return module_; }
  // The current window's record; an index outside the table is never used to reach memory.
  WindowRecord& CurrentRecord();

 private:
  ModuleState& module_;
};

}  // namespace kirnow
