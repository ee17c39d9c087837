// The process's one listener to the COM numbers given (com_number_listener.h).
#include "platform/registry/com_number_listener.h"

#include <mutex>
#include <utility>

namespace kirnow::platform {
namespace {

std::mutex gListenerLock;
ComNumberListener gListener;

}  // namespace

void SetComNumberListener(ComNumberListener listener) {
  std::lock_guard<std::mutex> hold(gListenerLock);
  gListener = std::move(listener);
}

void TellComNumberGiven(const ComNumberGiven& given) {
  ComNumberListener listener;
  {
    std::lock_guard<std::mutex> hold(gListenerLock);
    listener = gListener;
  }
  if (listener) listener(given);
}

}  // namespace kirnow::platform
