#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PENDING_WORK_COUNTER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PENDING_WORK_COUNTER_H_

#include <windows.h>

#include <atomic>

#include "base/win/scoped_handle.h"

namespace crash_reporter {

// Counts the work a crash server must finish before it ends (a watched parent that is still
// running, dump requests and uploads in progress). The decrement that brings the count to
// 0 sets the counter's event. Thread-safe.
class PendingWorkCounter {
 public:
  // The process-wide counter, made on first use and freed by the exit-callback registry.
  static PendingWorkCounter& Get();

  PendingWorkCounter();
  PendingWorkCounter(const PendingWorkCounter&) = delete;
  PendingWorkCounter& operator=(const PendingWorkCounter&) = delete;
  ~PendingWorkCounter();

  // Makes the manual-reset event, not signalled; false (logged) when it cannot be made.
  bool CreateEvent();
  void Increment();
  void Decrement();
  // Waits for the event (at most |timeout_ms|); true when it was set.
  bool Wait(DWORD timeout_ms = INFINITE);
  // Waits without limit until no work is left, also when work was added after the event
  // was set (one caller at a time: it resets the event); false when waiting failed.
  bool WaitUntilIdle();

  int count() const { return count_.load(); }

 private:
  base::win::ScopedHandle event_;
  std::atomic<int> count_{0};
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PENDING_WORK_COUNTER_H_
