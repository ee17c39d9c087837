// A host for tests: a wall clock that reads what the test sets, a process "polecheck" with id
// 4242, and threads numbered 1, 2, ... in the order they first ask.
#pragma once

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/host/host.h"

namespace kirnow::fakes {

class FixedHost final : public platform::Host {
 public:
  platform::LocalTime Now() override {
    std::lock_guard<std::mutex> hold(mutex_);
    return now;
  }
  std::string ProcessName() override { return "polecheck"; }
  uint32_t ProcessId() override { return 4242; }
  uint32_t ThreadId() override {
    std::lock_guard<std::mutex> hold(mutex_);
    const auto [it, fresh] = threads_.emplace(std::this_thread::get_id(), threads_.size() + 1);
    return static_cast<uint32_t>(it->second);
  }
  std::string SystemVersion() override { return "Linux 6.1.0-test (x86_64)"; }
  std::string ErrorText(int osError) override { return std::strerror(osError); }

  void Set(const platform::LocalTime& time) {
    std::lock_guard<std::mutex> hold(mutex_);
    now = time;
  }

 private:
  std::mutex mutex_;
  platform::LocalTime now{2025, 1, 9, 13, 32, 5, 123};
  std::map<std::thread::id, size_t> threads_;
};

}  // namespace kirnow::fakes
