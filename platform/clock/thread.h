// A thread started through the clock seam (Clock::StartThread). It is joined or let go like a
// std::thread, with two differences that a library needs: dropping a thread that was neither
// joined nor let go lets it go instead of ending the process, and a thread asked to join itself
// (it is ending the library from its own last step) lets itself go instead of waiting forever.
//
// A library thread of the system clocks holds a reference to the module its code is in, so that
// the host unloading the library while the thread runs only drops a reference: on Windows the
// thread drops its own with FreeLibraryAndExitThread, after its last instruction in the module;
// on Linux the thread that joins it drops it, and a thread that was let go keeps it.
#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace kirnow::platform {

class Thread {
 public:
  // How one platform joins or lets go of its threads.
  class Native {
   public:
    virtual ~Native() = default;
    virtual void Join() = 0;  // waits for the end; the handle is released
    virtual void Detach() = 0;
    virtual bool IsCurrent() const = 0;  // the calling thread is this one
  };

  Thread() = default;
  // Over a std::thread (the test clocks, Linux); `afterJoin` runs once the thread was joined.
  Thread(std::thread thread, std::function<void()> afterJoin = {});  // NOLINT: a thread is one
  explicit Thread(std::unique_ptr<Native> native) : native_(std::move(native)) {}
  Thread(Thread&& other) noexcept = default;
  Thread& operator=(Thread&& other) noexcept;
  ~Thread() { detach(); }
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  bool joinable() const { return native_ != nullptr; }
  // Waits for the thread to end. Called on the thread itself, it lets the thread go instead.
  void join();
  void detach();

 private:
  std::unique_ptr<Native> native_;
};

}  // namespace kirnow::platform
