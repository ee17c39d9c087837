// The Windows clock: GetTickCount, Sleep and std::thread.
#include <windows.h>
#undef CreateWindow
#undef MessageBox

#include "platform/clock/clock.h"

namespace kirnow::platform {
namespace {

class SystemClock : public Clock {
 public:
  uint32_t Ticks() override { return static_cast<uint32_t>(GetTickCount()); }
  void Sleep(uint32_t ms) override { ::Sleep(ms); }
  std::thread StartThread(std::function<void()> body) override {
    return std::thread(std::move(body));
  }
};

}  // namespace

std::unique_ptr<Clock> MakeSystemClock() { return std::make_unique<SystemClock>(); }

}  // namespace kirnow::platform
