// ANSI code page seam: Unicode text to the narrow code page of the system. On Windows this is
// WideCharToMultiByte(CP_ACP) and wcstombs; on Linux iconv to $KIRNOW_CODEPAGE (default
// WINDOWS-1252, so the euro sign is 0x80 and the pound sign 0xA3).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kirnow::platform {

class AnsiCodec {
 public:
  virtual ~AnsiCodec() = default;
  // Converts to the ANSI code page; characters it cannot show become the code page's default
  // character ('?'), as WideCharToMultiByte does without flags.
  virtual std::string ToAnsi(std::u16string_view text) = 0;
  // The C library's wide-to-multibyte conversion (wcstombs): at most `maxBytes` bytes;
  // nullopt when a character cannot be converted.
  virtual std::optional<std::string> WideToMultibyte(std::u16string_view text,
                                                     std::size_t maxBytes) = 0;
  // Back from the ANSI code page to UTF-16 (for tools and tests).
  virtual std::u16string FromAnsi(std::string_view bytes) = 0;
};

std::unique_ptr<AnsiCodec> MakeSystemAnsiCodec();

}  // namespace kirnow::platform
