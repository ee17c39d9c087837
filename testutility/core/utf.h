// UTF-8 <-> UTF-16 conversion for the dialog's texts (fields hold UTF-16 like the system's edit
// controls; messages and script files are UTF-8). Malformed input becomes U+FFFD. The
// conversion itself is the platform layer's.
#pragma once

#include "platform/text/utf_convert.h"

namespace polecheck {

using kirnow::platform::Utf16ToUtf8;
using kirnow::platform::Utf8ToUtf16;

}  // namespace polecheck
