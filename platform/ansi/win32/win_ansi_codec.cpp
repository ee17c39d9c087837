// The ANSI code page on Windows: WideCharToMultiByte(CP_ACP) and the C library's wcstombs.
#include <cstdlib>
#include <vector>

#include "platform/ansi/ansi_codec.h"
#include "platform/win32/windows_headers.h"

namespace kirnow::platform {
namespace {

class WinAnsiCodec : public AnsiCodec {
 public:
  std::string ToAnsi(std::u16string_view text) override {
    if (text.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int len = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide, len, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, len, out.data(), n, nullptr, nullptr);
    return out;
  }

  std::optional<std::string> WideToMultibyte(std::u16string_view text,
                                             std::size_t maxBytes) override {
    // wcstombs needs a terminated string; it stops at the first zero as it does here.
    std::wstring wide(reinterpret_cast<const wchar_t*>(text.data()), text.size());
    std::vector<char> buf(maxBytes + 1, '\0');
    const size_t n = std::wcstombs(buf.data(), wide.c_str(), maxBytes);
    if (n == static_cast<size_t>(-1)) return std::nullopt;
    return std::string(buf.data(), n);
  }

  std::u16string FromAnsi(std::string_view bytes) override {
    if (bytes.empty()) return {};
    const int len = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), len, nullptr, 0);
    if (n <= 0) return {};
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), len, reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
  }
};

}  // namespace

std::unique_ptr<AnsiCodec> MakeSystemAnsiCodec() { return std::make_unique<WinAnsiCodec>(); }

}  // namespace kirnow::platform
