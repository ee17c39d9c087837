// Clang's thread-safety analysis for the few locks the library keeps: the attributes (empty for
// other compilers) and a mutex and a scoped hold that carry them, since the standard types do
// not. A member marked KIRNOW_GUARDED_BY(m) may be touched only while m is held; clang checks it
// at compile time (-Wthread-safety).
#pragma once

#include <mutex>

#if defined(__clang__)
#define KIRNOW_TSA(x) __attribute__((x))
#else
#define KIRNOW_TSA(x)
#endif

#define KIRNOW_CAPABILITY(x) KIRNOW_TSA(capability(x))
#define KIRNOW_SCOPED_CAPABILITY KIRNOW_TSA(scoped_lockable)
#define KIRNOW_GUARDED_BY(x) KIRNOW_TSA(guarded_by(x))
#define KIRNOW_PT_GUARDED_BY(x) KIRNOW_TSA(pt_guarded_by(x))
#define KIRNOW_REQUIRES(...) KIRNOW_TSA(requires_capability(__VA_ARGS__))
#define KIRNOW_EXCLUDES(...) KIRNOW_TSA(locks_excluded(__VA_ARGS__))
#define KIRNOW_ACQUIRE(...) KIRNOW_TSA(acquire_capability(__VA_ARGS__))
#define KIRNOW_RELEASE(...) KIRNOW_TSA(release_capability(__VA_ARGS__))
#define KIRNOW_ACQUIRED_BEFORE(...) KIRNOW_TSA(acquired_before(__VA_ARGS__))
#define KIRNOW_NO_THREAD_SAFETY_ANALYSIS KIRNOW_TSA(no_thread_safety_analysis)

namespace kirnow::platform {

class KIRNOW_CAPABILITY("mutex") Mutex {
 public:
  void lock() KIRNOW_ACQUIRE() { mutex_.lock(); }
  void unlock() KIRNOW_RELEASE() { mutex_.unlock(); }

 private:
  friend class MutexLock;
  std::mutex mutex_;
};

// A mutex that the thread holding it may take again (the analysis sees each hold on its own).
class KIRNOW_CAPABILITY("mutex") RecursiveMutex {
 public:
  void lock() KIRNOW_ACQUIRE() { mutex_.lock(); }
  void unlock() KIRNOW_RELEASE() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// A hold of a mutex for its scope.
template <class M>
class KIRNOW_SCOPED_CAPABILITY Hold {
 public:
  explicit Hold(M& mutex) KIRNOW_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~Hold() KIRNOW_RELEASE() { mutex_.unlock(); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  M& mutex_;
};
using MutexHold = Hold<Mutex>;
using RecursiveHold = Hold<RecursiveMutex>;

// A hold that a std::condition_variable can wait on (the wait lets the mutex go and takes it
// again before it returns, so the hold stands for the whole scope).
class KIRNOW_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) KIRNOW_ACQUIRE(mutex) : lock_(mutex.mutex_) {}
  ~MutexLock() KIRNOW_RELEASE() {}
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  std::unique_lock<std::mutex>& native() { return lock_; }

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace kirnow::platform
