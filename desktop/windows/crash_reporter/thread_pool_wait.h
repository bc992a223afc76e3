#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_POOL_WAIT_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_POOL_WAIT_H_

#include <windows.h>

#include <atomic>

namespace crash_reporter {

// Owns one wait of the system thread pool (RegisterWaitForSingleObject). Stop and the
// destructor end it and wait for a callback that is running, so they must not run inside
// this wait's own callback, which ends its wait with StopFromCallback instead. Ending the
// wait from two threads at once unregisters it once; the caller that finds it already
// ended returns at once.
class ThreadPoolWait {
 public:
  ThreadPoolWait() = default;
  ThreadPoolWait(const ThreadPoolWait&) = delete;
  ThreadPoolWait& operator=(const ThreadPoolWait&) = delete;
  ~ThreadPoolWait() { Stop(); }

  // Registers the wait; false, with an error logged, when the system refuses (or a wait is
  // already registered).
  bool Start(HANDLE object,
             WAITORTIMERCALLBACK callback,
             void* context,
             ULONG timeout_ms,
             ULONG flags);
  void Stop();
  void StopFromCallback();
  bool IsActive() const { return wait_.load(std::memory_order_acquire) != nullptr; }

 private:
  void Unregister(HANDLE completion_event);

  std::atomic<HANDLE> wait_{nullptr};
};

// Owns one timer of the system's default timer queue that fires once. Stop and the
// destructor cancel it and wait for a callback that is running, so they must not run
// inside that callback.
class ThreadPoolTimer {
 public:
  ThreadPoolTimer() = default;
  ThreadPoolTimer(const ThreadPoolTimer&) = delete;
  ThreadPoolTimer& operator=(const ThreadPoolTimer&) = delete;
  ~ThreadPoolTimer() { Stop(); }

  // Arms the timer |due_ms| from now, replacing an armed one; false, with an error logged,
  // when the system refuses.
  bool Start(WAITORTIMERCALLBACK callback, void* context, DWORD due_ms);
  void Stop();

 private:
  HANDLE timer_ = nullptr;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_POOL_WAIT_H_
