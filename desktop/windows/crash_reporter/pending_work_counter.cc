#include "desktop/windows/crash_reporter/pending_work_counter.h"

#include "base/lazy_instance.h"
#include "base/logging.h"

namespace crash_reporter {

namespace {

base::LazyInstance<PendingWorkCounter> g_pending_work_counter;

}  // namespace

// static
PendingWorkCounter& PendingWorkCounter::Get() {
  return g_pending_work_counter.Get();
}

PendingWorkCounter::PendingWorkCounter() = default;

PendingWorkCounter::~PendingWorkCounter() = default;

bool PendingWorkCounter::CreateEvent() {
  event_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event_.IsValid()) {
    PLOG(ERROR) << "CreateEvent failed for the pending work counter";
    return false;
  }
  return true;
}

void PendingWorkCounter::Increment() {
  count_.fetch_add(1);
}

void PendingWorkCounter::Decrement() {
  if (count_.fetch_sub(1) == 1 && event_.IsValid() && !::SetEvent(event_.Get()))
    PLOG(ERROR) << "SetEvent failed for the pending work counter";
}

bool PendingWorkCounter::Wait(DWORD timeout_ms) {
  if (!event_.IsValid())
    return false;
  const DWORD result = ::WaitForSingleObject(event_.Get(), timeout_ms);
  if (result == WAIT_FAILED)
    PLOG(ERROR) << "Waiting for the pending work counter failed";
  return result == WAIT_OBJECT_0;
}

bool PendingWorkCounter::WaitUntilIdle() {
  if (!event_.IsValid())
    return false;
  for (;;) {
    if (count_.load() <= 0)
      return true;
    // The decrement that empties the counter sets the event after this reset, or the count
    // read next is already 0.
    if (!::ResetEvent(event_.Get())) {
      PLOG(ERROR) << "ResetEvent failed for the pending work counter";
      return false;
    }
    if (count_.load() <= 0)
      return true;
    if (!Wait())
      return false;
  }
}

}  // namespace crash_reporter
