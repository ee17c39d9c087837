// A thread started through the clock seam (Clock::StartThread). It is joined or let go like a
// std::thread, with two differences that a library needs: dropping a thread that was neither
// joined nor let go lets it go instead of ending the process, and a thread asked to join itself
// (it is ending the library from its own last step) lets itself go instead of waiting forever.
//
// No thread holds or drops a reference to its library of its own (the library is pinned before
// it hands out anything that starts one, module_pin.h): a reference that a thread or its joiner
// dropped could be the last one, and unmap the library under a caller still in it.
#pragma once

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
  // Over a std::thread (the test clocks, Linux).
  Thread(std::thread thread);  // NOLINT: a thread is one
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
