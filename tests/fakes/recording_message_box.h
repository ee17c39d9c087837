// A message box for tests: records every message (text, caption) instead of showing it.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/messagebox/message_box.h"

namespace kirnow::fakes {

class RecordingMessageBox : public platform::MessageBoxSink {
 public:
  void Show(std::string_view text, std::string_view caption) override {
    std::lock_guard<std::mutex> lock(mutex_);
    shown.emplace_back(std::string(text), std::string(caption));
  }

  // A copy taken under the lock, for assertions while workers may still show messages.
  std::vector<std::pair<std::string, std::string>> Shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown;
  }

  // (text, caption) of every message, in order. Read it directly only when no other thread
  // can show a message; otherwise use Shown().
  std::vector<std::pair<std::string, std::string>> shown;

 private:
  mutable std::mutex mutex_;
};

}  // namespace kirnow::fakes
