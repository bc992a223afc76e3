#include "desktop/windows/crash_reporter/process_exit_watcher.h"

#include "base/logging.h"
#include "desktop/windows/crash_reporter/pending_work_counter.h"

namespace crash_reporter {

ProcessExitWatcher::ProcessExitWatcher(PendingWorkCounter* counter)
    : counter_(counter ? counter : &PendingWorkCounter::Get()) {}

ProcessExitWatcher::~ProcessExitWatcher() {
  Stop();
}

bool ProcessExitWatcher::Start(DWORD pid) {
  process_.Set(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!process_.IsValid()) {
    PLOG(ERROR) << "OpenProcess failed for " << pid;
    return false;
  }
  counter_->Increment();
  armed_.store(1);
  return wait_.Start(process_.Get(), &OnProcessExited, this, INFINITE, WT_EXECUTEONLYONCE);
}

void ProcessExitWatcher::Stop() {
  Release();
  // Waits for a running callback, which uses this object.
  wait_.Stop();
  process_.Close();
}

// static
void CALLBACK ProcessExitWatcher::OnProcessExited(void* context, BOOLEAN timed_out) {
  static_cast<ProcessExitWatcher*>(context)->Release();
}

void ProcessExitWatcher::Release() {
  LONG expected = 1;
  if (armed_.compare_exchange_strong(expected, 0))
    counter_->Decrement();
}

}  // namespace crash_reporter
