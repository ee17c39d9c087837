// The one rule for exceptions at the COM boundary: none crosses it. An allocation failure
// answers E_OUTOFMEMORY, anything else E_UNEXPECTED (the library has no failure it expects to
// see as an exception). Every interface method and every export runs its body through this.
#pragma once

#include <new>
#include <utility>

#include "platform/com/com_types.h"

namespace kirnow::server {

template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace kirnow::server
