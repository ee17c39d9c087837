// How the control object gets from a service object's ProgID to a live object: through the
// class registry. On Linux the registry chain ProgID -> CLSID -> InprocServer32 leads to a shared
// object that is loaded and asked for its class factory; on Windows COM does the same.
#pragma once

#include <memory>
#include <string>

#include "platform/com/com_types.h"
#include "platform/registry/registry.h"

namespace kirnow::control {

enum class LoadStatus {
  Created,       // *out holds the object's IDispatch
  NotFound,      // ProgID, class or library missing
  NotCreatable,  // the library is there but yields no object
};

struct LoadResult {
  LoadStatus status = LoadStatus::NotFound;
  std::string detail;  // what went wrong, for diagnostics
};

class ServiceObjectLoader {
 public:
  virtual ~ServiceObjectLoader() = default;
  // Creates the class registered for `progId` and hands out its IDispatch with one reference.
  virtual LoadResult Create(const std::string& progId, IDispatch** out) = 0;
  // Called once the last reference to the created object is gone: unloads the library if it
  // agrees to go.
  virtual void Unload() = 0;
};

// The platform's loader. On Linux it reads the class registry from `registry`.
std::unique_ptr<ServiceObjectLoader> MakeSystemServiceObjectLoader(platform::Registry& registry);

}  // namespace kirnow::control
