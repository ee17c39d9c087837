// The Windows message box: MessageBoxW with no owner window and an OK button.
#include "platform/messagebox/message_box.h"
#include "platform/text/utf_convert.h"
#include "platform/win32/windows_headers.h"

namespace kirnow::platform {
namespace {

std::wstring Wide(std::string_view utf8) {
  const std::u16string w = Utf8ToUtf16(utf8);
  return std::wstring(w.begin(), w.end());
}

class WinMessageBox : public MessageBoxSink {
 public:
  void Show(std::string_view text, std::string_view caption) override {
    MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), MB_OK);
  }
};

}  // namespace

std::unique_ptr<MessageBoxSink> MakeSystemMessageBox() { return std::make_unique<WinMessageBox>(); }

// Windows shows real message boxes; a host program has nothing to hook.
void SetMessageBoxHook(MessageBoxHook) {}

}  // namespace kirnow::platform
