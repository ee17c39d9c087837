// UTF-8 <-> UTF-16 conversion for the dialog's texts (fields hold UTF-16 like the system's edit
// controls; messages and script files are UTF-8). Malformed input becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace polecheck {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace polecheck
