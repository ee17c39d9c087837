// What the COM objects of the Linux server need from their module: the shared service-object
// state and the module lock count. The shared object's module implements it; tests implement it
// over fakes.
#pragma once

#include <atomic>
#include <cstdint>

#include "serviceobject/core/so_state.h"

namespace kirnow::posixcom {

class ComModule {
 public:
  virtual ~ComModule() = default;
  // The module-wide state, made on first use. Throws std::bad_alloc when it cannot be made.
  virtual ModuleState& State() = 0;

  // Live service objects, and LockServer locks plus client references to the class factory.
  void ObjectCreated() { ++objects_; }
  // Answers true when this was the last live object.
  bool ObjectDestroyed() { return --objects_ == 0; }
  void Lock() { ++locks_; }
  // An unbalanced unlock never drives the count below zero.
  void Unlock() {
    int32_t now = locks_.load();
    while (now > 0 && !locks_.compare_exchange_weak(now, now - 1)) {
    }
  }
  int32_t Objects() const { return objects_; }
  int32_t Locks() const { return locks_; }

 private:
  std::atomic<int32_t> objects_{0};
  std::atomic<int32_t> locks_{0};
};

}  // namespace kirnow::posixcom
