// What the COM objects of the library need from their module: the service-object state shared
// by every object, and the module lock count that DllCanUnloadNow reads. The library's own
// module (server_module.h) builds the state over the system's platform services; tests build a
// module over fakes.
//
// The state lives as long as the module does, not as long as some object: a second object
// after the first was released finds the same port, windows and texts.
#pragma once

#include <atomic>
#include <cstdint>

#include "serviceobject/core/so_state.h"

namespace kirnow::server {

class ComModule {
 public:
  virtual ~ComModule() = default;
  // The module-wide state, made on first use. Throws std::bad_alloc when it cannot be made.
  virtual ModuleState& State() = 0;

  // Live service objects.
  void ObjectCreated() { ++objects_; }
  // Answers true when this was the last live object.
  bool ObjectDestroyed() { return --objects_ == 0; }
  // Locks: LockServer(TRUE), a client's hold on the class factory, a live enumerator.
  void Lock() { ++locks_; }
  // An unbalanced unlock never drives the count below zero, where a later lock would no longer
  // keep the library loaded.
  void Unlock() {
    int32_t now = locks_.load();
    while (now > 0 && !locks_.compare_exchange_weak(now, now - 1)) {
    }
  }
  int32_t Objects() const { return objects_; }
  int32_t Locks() const { return locks_; }

  // True while a marquee or blink worker or the port's keeper runs: the library's code is
  // still in use then.
  virtual bool WorkersRunning() = 0;

 private:
  std::atomic<int32_t> objects_{0};
  std::atomic<int32_t> locks_{0};
};

}  // namespace kirnow::server
