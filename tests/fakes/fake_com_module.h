// The COM module of the library over a module state the test made (on the fake platform), with
// no workers of its own to report.
#pragma once

#include "serviceobject/com/com_module.h"

namespace kirnow::fakes {

class FakeComModule : public server::ComModule {
 public:
  explicit FakeComModule(ModuleState& state) : state_(state) {}
  ModuleState& State() override { return state_; }
  bool WorkersRunning() override { return false; }

 private:
  ModuleState& state_;
};

}  // namespace kirnow::fakes
