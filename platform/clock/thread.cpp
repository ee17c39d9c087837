// Joining and letting go of the clock seam's threads; the std::thread flavour used by the Linux
// clock and the test clocks.
#include "platform/clock/thread.h"

namespace kirnow::platform {
namespace {

class StdThread final : public Thread::Native {
 public:
  explicit StdThread(std::thread thread) : thread_(std::move(thread)) {}
  ~StdThread() override {
    if (thread_.joinable()) thread_.detach();
  }
  StdThread(const StdThread&) = delete;
  StdThread& operator=(const StdThread&) = delete;

  void Join() override { thread_.join(); }
  void Detach() override { thread_.detach(); }
  bool IsCurrent() const override { return thread_.get_id() == std::this_thread::get_id(); }

 private:
  std::thread thread_;
};

}  // namespace

Thread::Thread(std::thread thread) {
  if (thread.joinable()) native_ = std::make_unique<StdThread>(std::move(thread));
}

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    detach();
    native_ = std::move(other.native_);
  }
  return *this;
}

void Thread::join() {
  if (!native_) return;
  std::unique_ptr<Native> native = std::move(native_);
  if (native->IsCurrent()) {
    native->Detach();
  } else {
    native->Join();
  }
}

void Thread::detach() {
  if (!native_) return;
  std::unique_ptr<Native> native = std::move(native_);
  native->Detach();
}

}  // namespace kirnow::platform
