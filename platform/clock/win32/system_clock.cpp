// The Windows clock: GetTickCount and Sleep for the tick counter the service object's busy-waits
// use; QueryPerformanceCounter and a precise wait for the workers' pacing. The system timer ticks
// every 15.625 ms unless a process raises its resolution, and Sleep wakes only on a tick, so the
// precise wait uses a high-resolution waitable timer (Windows 10 1803 and later), which needs no
// raised resolution. Elsewhere it uses a plain waitable timer under timeBeginPeriod(1), which is
// held only while a worker runs (a raised resolution costs the till power): its due time is
// kept in 100 ns units, so it fires on the first 1 ms interrupt at or after the deadline, where
// a Sleep of whole milliseconds could wake up to two interrupts late. SleepWhile waits for the
// same timer or the thread's wake-up event, which Interrupt sets for every waiting thread; a
// thread not started here (a caller waiting for the port) waits on a condition variable instead.
// Worker threads run above normal priority. No thread of ours holds a reference to the DLL of
// its own (clock.h): one that it dropped as it ended (FreeLibraryAndExitThread) could be the last,
// and DLL_PROCESS_DETACH would then run on that thread while a caller in the library waits for
// it.
#include "platform/win32/windows_headers.h"
// after windows.h, which it needs
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/clock/flag_wait.h"
#include "platform/clock/timer_resolution.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace kirnow::platform {
namespace {

HANDLE MakeHighResolutionTimer() {
  return CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                TIMER_ALL_ACCESS);
}

bool HighResolutionTimerAvailable();

// Each pacing thread keeps its own timer, high-resolution where the system has one; closed when
// the thread ends.
struct ThreadTimer {
  HANDLE handle = HighResolutionTimerAvailable() ? MakeHighResolutionTimer()
                                                 : CreateWaitableTimerW(nullptr, FALSE, nullptr);
  HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset
  ~ThreadTimer() { Release(); }
  // Closes both handles; each of our threads does this as its last step.
  void Release() {
    if (handle != nullptr) CloseHandle(handle);
    if (wake != nullptr) CloseHandle(wake);
    handle = nullptr;
    wake = nullptr;
  }
  // Arms the timer for `wait` microseconds from now.
  bool Arm(uint64_t wait) const {
    LARGE_INTEGER due{};
    due.QuadPart = -static_cast<LONGLONG>(wait * 10u);  // relative, in 100 ns units
    return handle != nullptr && SetWaitableTimer(handle, &due, 0, nullptr, nullptr, FALSE);
  }
};

ThreadTimer& TimerOfThisThread() {
  thread_local ThreadTimer timer;
  return timer;
}

bool HighResolutionTimerAvailable() {
  static const bool available = [] {
    HANDLE probe = MakeHighResolutionTimer();
    if (probe == nullptr) return false;
    CloseHandle(probe);
    return true;
  }();
  return available;
}

// A thread of ours as a Windows thread handle.
class WinThread final : public Thread::Native {
 public:
  explicit WinThread(HANDLE handle) : handle_(handle) {}
  ~WinThread() override { Detach(); }
  WinThread(const WinThread&) = delete;
  WinThread& operator=(const WinThread&) = delete;

  void Join() override {
    if (handle_ == nullptr) return;
    WaitForSingleObject(handle_, INFINITE);
    Detach();
  }
  void Detach() override {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
  }
  bool IsCurrent() const override { return GetThreadId(handle_) == GetCurrentThreadId(); }

 private:
  HANDLE handle_;
};

DWORD WINAPI RunThread(void* argument) {
  {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    try {
      (*body)();
    } catch (...) {
      // A body that throws ends its thread, never the host.
    }
  }
  TimerOfThisThread().Release();
  return 0;
}

class SystemClock : public Clock {
 public:
  SystemClock()
      : resolution_(
            !HighResolutionTimerAvailable(), [] { timeBeginPeriod(1); }, [] { timeEndPeriod(1); }) {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    frequency_ = static_cast<uint64_t>(f.QuadPart);
  }

  uint32_t Ticks() override { return static_cast<uint32_t>(GetTickCount()); }
  void Sleep(uint32_t ms) override { ::Sleep(ms); }

  Thread StartThread(std::function<void()> body) override {
    auto start = std::make_unique<std::function<void()>>([this, body = std::move(body)] {
      const DWORD id = GetCurrentThreadId();
      {
        MutexHold hold(mutex_);
        ours_.push_back(id);
      }
      struct Leave {
        SystemClock& clock;
        DWORD id;
        ~Leave() {
          MutexHold hold(clock.mutex_);
          clock.ours_.erase(std::find(clock.ours_.begin(), clock.ours_.end(), id));
        }
      } leave{*this, id};
      body();
    });
    HANDLE handle = CreateThread(nullptr, 0, &RunThread, start.get(), 0, nullptr);
    if (handle == nullptr) {
      const DWORD error = GetLastError();
      throw std::system_error(static_cast<int>(error), std::system_category(), "CreateThread");
    }
    start.release();  // the thread owns it now
    return Thread(std::make_unique<WinThread>(handle));
  }

  uint64_t Micros() override {
    LARGE_INTEGER c{};
    QueryPerformanceCounter(&c);
    const uint64_t count = static_cast<uint64_t>(c.QuadPart);
    return count / frequency_ * 1000000u + count % frequency_ * 1000000u / frequency_;
  }

  void SleepUntil(uint64_t deadline) override {
    const uint64_t now = Micros();
    if (deadline <= now) return;
    const uint64_t wait = deadline - now;
    ThreadTimer& timer = TimerOfThisThread();
    if (timer.Arm(wait) && WaitForSingleObject(timer.handle, INFINITE) == WAIT_OBJECT_0) return;
    // No timer at all: under the raised resolution Sleep wakes within two milliseconds.
    ::Sleep(static_cast<DWORD>((wait + 999) / 1000));
  }

  void SleepWhile(uint64_t deadline, const std::atomic<int32_t>& keepRunning) override {
    const uint64_t now = Micros();
    if (!keepRunning || deadline <= now) return;
    if (!OnOurThread()) {
      // A caller's thread (waiting for its unit on the port) gets no timer or event of ours,
      // which would outlive the call in its thread-local storage.
      callers_.Until(std::chrono::steady_clock::now() + std::chrono::microseconds(deadline - now),
                     keepRunning);
      return;
    }
    ThreadTimer& timer = TimerOfThisThread();
    if (timer.wake == nullptr || !timer.Arm(deadline - now)) {
      return Clock::SleepWhile(deadline, keepRunning);
    }
    {
      MutexHold hold(mutex_);
      waiting_.push_back(timer.wake);
    }
    // Registered before the loop reads the flag: a stop after that read sets the event.
    const HANDLE both[2] = {timer.handle, timer.wake};
    while (keepRunning && WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
      // Woken for another thread's flag, or for ours: look again.
    }
    {
      MutexHold hold(mutex_);
      waiting_.erase(std::find(waiting_.begin(), waiting_.end(), timer.wake));
    }
    CancelWaitableTimer(timer.handle);
  }

  void Interrupt() override {
    {
      MutexHold hold(mutex_);
      for (HANDLE wake : waiting_) SetEvent(wake);
    }
    callers_.Wake();
  }

  void BeginPrecise() override { resolution_.Begin(); }
  void EndPrecise() override { resolution_.End(); }

 private:
  TimerResolution resolution_;
  uint64_t frequency_ = 1;
  Mutex mutex_;
  // Wake-up events of the threads in SleepWhile.
  std::vector<HANDLE> waiting_ KIRNOW_GUARDED_BY(mutex_);
  std::vector<DWORD> ours_ KIRNOW_GUARDED_BY(mutex_);  // the threads started here that run now
  FlagWait callers_;                                   // SleepWhile of the other threads

  bool OnOurThread() {
    MutexHold hold(mutex_);
    return std::find(ours_.begin(), ours_.end(), GetCurrentThreadId()) != ours_.end();
  }
};

}  // namespace

std::unique_ptr<Clock> MakeSystemClock() { return std::make_unique<SystemClock>(); }

}  // namespace kirnow::platform
