// The process's one listener to the COM numbers given (com_number_listener.h). Its storage is
// never destroyed: a module torn down by the exit handlers may still clear it then.
#include "platform/registry/com_number_listener.h"

#include <mutex>
#include <utility>

namespace kirnow::platform {
namespace {

struct Listener {
  std::mutex lock;
  ComNumberListener tell;
};

Listener& TheListener() {
  static Listener* const listener = new Listener;
  return *listener;
}

}  // namespace

void SetComNumberListener(ComNumberListener listener) {
  Listener& l = TheListener();
  std::lock_guard<std::mutex> hold(l.lock);
  l.tell = std::move(listener);
}

void TellComNumberGiven(const ComNumberGiven& given) {
  Listener& l = TheListener();
  ComNumberListener tell;
  {
    std::lock_guard<std::mutex> hold(l.lock);
    tell = l.tell;
  }
  if (tell) tell(given);
}

}  // namespace kirnow::platform
