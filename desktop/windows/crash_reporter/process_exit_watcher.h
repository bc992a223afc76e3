#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_EXIT_WATCHER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_EXIT_WATCHER_H_

#include <windows.h>

#include <atomic>

#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/thread_pool_wait.h"

namespace crash_reporter {

class PendingWorkCounter;

// Holds one unit of pending work while a process runs: Start increments the counter, and
// exactly one decrement follows, from the system thread pool when the process ends or from
// Stop, whichever comes first. Start and Stop belong to one thread; Stop (and the
// destructor) waits for a wait callback that is running.
class ProcessExitWatcher {
 public:
  // |counter| (not owned) must outlive the watcher; by default the process-wide one.
  explicit ProcessExitWatcher(PendingWorkCounter* counter = nullptr);
  ProcessExitWatcher(const ProcessExitWatcher&) = delete;
  ProcessExitWatcher& operator=(const ProcessExitWatcher&) = delete;
  ~ProcessExitWatcher();

  // False (logged) when the process cannot be opened or watched; after a failed wait
  // registration the unit stays held until Stop.
  bool Start(DWORD pid);
  void Stop();

 private:
  static void CALLBACK OnProcessExited(void* context, BOOLEAN timed_out);
  // Gives the unit back once, whoever calls first.
  void Release();

  PendingWorkCounter* const counter_;
  std::atomic<LONG> armed_{0};
  base::win::ScopedHandle process_;
  ThreadPoolWait wait_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_EXIT_WATCHER_H_
