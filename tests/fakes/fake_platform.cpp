// A module state on the fake platform.
#include "tests/fakes/fake_platform.h"

#include "serviceobject/core/so_state.h"

namespace kirnow::fakes {

std::unique_ptr<ModuleState> MakeModule(FakePlatform& fakes, bool debug) {
  return std::make_unique<ModuleState>(fakes.platform(), debug);
}

}  // namespace kirnow::fakes
