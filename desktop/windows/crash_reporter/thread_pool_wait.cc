#include "desktop/windows/crash_reporter/thread_pool_wait.h"

#include "base/logging.h"

namespace crash_reporter {

bool ThreadPoolWait::Start(HANDLE object,
                           WAITORTIMERCALLBACK callback,
                           void* context,
                           ULONG timeout_ms,
                           ULONG flags) {
  if (IsActive())
    return false;
  HANDLE wait = nullptr;
  if (!::RegisterWaitForSingleObject(&wait, object, callback, context, timeout_ms, flags)) {
    PLOG(ERROR) << "RegisterWaitForSingleObject failed";
    return false;
  }
  wait_.store(wait, std::memory_order_release);
  return true;
}

void ThreadPoolWait::Stop() {
  Unregister(INVALID_HANDLE_VALUE);
}

void ThreadPoolWait::StopFromCallback() {
  Unregister(nullptr);
}

void ThreadPoolWait::Unregister(HANDLE completion_event) {
  HANDLE wait = wait_.exchange(nullptr, std::memory_order_acq_rel);
  if (!wait)
    return;
  // From inside the callback the system reports the running callback as pending: the
  // wait still ends once the callback returns.
  if (!::UnregisterWaitEx(wait, completion_event) && ::GetLastError() != ERROR_IO_PENDING)
    PLOG(ERROR) << "UnregisterWaitEx failed";
}

bool ThreadPoolTimer::Start(WAITORTIMERCALLBACK callback, void* context, DWORD due_ms) {
  Stop();
  if (!::CreateTimerQueueTimer(&timer_, nullptr, callback, context, due_ms, 0,
                               WT_EXECUTEONLYONCE)) {
    PLOG(ERROR) << "CreateTimerQueueTimer failed";
    timer_ = nullptr;
    return false;
  }
  return true;
}

void ThreadPoolTimer::Stop() {
  if (!timer_)
    return;
  if (!::DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE))
    PLOG(ERROR) << "DeleteTimerQueueTimer failed";
  timer_ = nullptr;
}

}  // namespace crash_reporter
