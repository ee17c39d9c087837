// The Linux message box: "caption: text" on stderr, or the host program's hook when one is set.
#include <cstdio>
#include <string>

#include "platform/messagebox/message_box.h"
#include "platform/sync/thread_safety.h"

namespace kirnow::platform {
namespace {

Mutex gHookMutex;
MessageBoxHook gHook KIRNOW_GUARDED_BY(gHookMutex);

class StderrMessageBox : public MessageBoxSink {
 public:
  void Show(std::string_view text, std::string_view caption) override {
    MessageBoxHook hook;
    {
      MutexHold lock(gHookMutex);
      hook = gHook;
    }
    // The hook runs outside the lock: it may be modal and may itself change the hook.
    if (hook) {
      hook(text, caption);
      return;
    }
    const std::string line = std::string(caption) + ": " + std::string(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }
};

}  // namespace

std::unique_ptr<MessageBoxSink> MakeSystemMessageBox() {
  return std::make_unique<StderrMessageBox>();
}

void SetMessageBoxHook(MessageBoxHook hook) {
  MutexHold lock(gHookMutex);
  gHook = std::move(hook);
}

}  // namespace kirnow::platform
