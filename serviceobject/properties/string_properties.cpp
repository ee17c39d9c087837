// GetPropertyString and SetPropertyString: the string OPOS properties. The answers are fixed
// texts of the build and the two strings the object holds; writes change nothing.
#include <optional>
#include <string>
#include <string_view>

#include "kirnow_config.h"
#include "opos/opos_constants.h"
#include "platform/text/name_compare.h"
#include "serviceobject/core/posl_display.h"

namespace kirnow {
namespace {

constexpr std::u16string_view kDeviceName = u"JQ POS Pole Display";
constexpr std::u16string_view kCharacterSetList =
    u"437,850,852,858,860,863,865,866,932,998,1252,254,255";

// The build's ids are plain ASCII hex digits.
std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string TraceText(POSLDisplay& so, const std::u16string* text) {
  return text ? so.module().platform.ansi.ToAnsi(*text) : std::string();
}

}  // namespace

std::optional<std::u16string> POSLDisplay::GetPropertyString(int32_t PropIndex,
                                                             const std::u16string* pString) {
  module().trace.Record("\nGetPropertyString:", [&] {
    return TraceFormat("PropIndex=%d,*pString=", PropIndex) + TraceText(*this, pString);
  });
  switch (PropIndex) {
    case PIDX_CheckHealthText:
      return CheckHealthText;
    case PIDX_DeviceDescription:
      return u"PID_" + Widen(KIRNOW_USB_PID);
    case PIDX_DeviceName:
      return std::u16string(kDeviceName);
    case PIDX_ServiceObjectDescription:
      return u"VID_" + Widen(text::FoldedAscii(KIRNOW_USB_VID));
    case PIDXDisp_CharacterSetList:
      return std::u16string(kCharacterSetList);
    case PIDXDisp_CustomGlyphList:
      return CustomGlyphList;
    default:
      return std::nullopt;
  }
}

void POSLDisplay::SetPropertyString(int32_t PropIndex, std::u16string_view String) {
  module().trace.Record("\nSetPropertyString:", [&] {
    return TraceFormat("PropIndex=%d,String=", PropIndex) + module().platform.ansi.ToAnsi(String);
  });
  // No string property is writable; the write is accepted and nothing changes.
}

}  // namespace kirnow
