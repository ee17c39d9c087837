// DefineGlyph: a user-defined character, sent as character 5F of the user character set.
#include <algorithm>
#include <string>
#include <utility>

#include "serviceobject/core/posl_display.h"
#include "serviceobject/display/command_set.h"
#include "serviceobject/display/engine_internal.h"
#include "serviceobject/display/hex_pairs.h"

namespace kirnow {

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
  port::Unit unit;
  display::SendDefineCharacters(unit, display::kMarkerByte, display::kMarkerByte);
  display::SendText(unit, body);
  display::SendCharacterSet(unit, 1);
  m.Port.Send(std::move(unit));
  return OPOS_SUCCESS;
}

}  // namespace kirnow
