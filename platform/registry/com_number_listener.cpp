// The process's one listener to the COM numbers given (com_number_listener.h). Its storage is
// never destroyed: a module torn down by the exit handlers may still clear it then.
#include "platform/registry/com_number_listener.h"

#include <utility>

#include "platform/sync/thread_safety.h"

namespace kirnow::platform {
namespace {

struct Listener {
  Mutex lock;
  ComNumberListener tell KIRNOW_GUARDED_BY(lock);
};

Listener& TheListener() {
  static Listener* const listener = new Listener;
  return *listener;
}

}  // namespace

void SetComNumberListener(ComNumberListener listener) {
  Listener& l = TheListener();
  MutexHold hold(l.lock);
  l.tell = std::move(listener);
}

void TellComNumberGiven(const ComNumberGiven& given) {
  Listener& l = TheListener();
  ComNumberListener tell;
  {
    MutexHold hold(l.lock);
    tell = l.tell;
  }
  if (tell) tell(given);
}

}  // namespace kirnow::platform
