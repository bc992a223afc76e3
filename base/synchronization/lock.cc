#include "base/synchronization/lock.h"

#include <windows.h>

#include "base/debug/program_counter.h"
#include "base/logging.h"
#include "base/metrics/activity_tracker.h"

namespace base {

namespace {

static_assert(sizeof(void*) == sizeof(SRWLOCK), "Lock holds an SRWLOCK in one word");

SRWLOCK* AsSrwLock(void** native) {
  return reinterpret_cast<SRWLOCK*>(native);
}

}  // namespace

// Out of line and never inlined: the activity record names the code that asked for the lock.
__declspec(noinline) void Lock::Acquire() {
  {
    ScopedActivity activity = ScopedActivity::ForLockAcquire(BASE_RETURN_ADDRESS(), this);
    ::AcquireSRWLockExclusive(AsSrwLock(&native_));
  }
#if !defined(NDEBUG)
  MarkHeld();
#endif
}

void Lock::Release() {
#if !defined(NDEBUG)
  CheckHeldAndUnmark();
#endif
  ::ReleaseSRWLockExclusive(AsSrwLock(&native_));
}

bool Lock::Try() {
  if (!::TryAcquireSRWLockExclusive(AsSrwLock(&native_)))
    return false;
#if !defined(NDEBUG)
  MarkHeld();
#endif
  return true;
}

#if !defined(NDEBUG)
void Lock::AssertAcquired() const {
  CHECK(owning_thread_id_ == ::GetCurrentThreadId()) << "the lock is not held by this thread";
}

void Lock::MarkHeld() {
  owning_thread_id_ = ::GetCurrentThreadId();
}

void Lock::CheckHeldAndUnmark() {
  AssertAcquired();
  owning_thread_id_ = 0;
}
#else
void Lock::AssertAcquired() const {}
#endif

}  // namespace base
