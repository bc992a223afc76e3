#include "base/synchronization/condition_variable.h"

#include <windows.h>

#include "base/logging.h"
#include "base/synchronization/lock.h"

namespace base {

static_assert(sizeof(void*) == sizeof(CONDITION_VARIABLE),
              "ConditionVariable holds a CONDITION_VARIABLE in one word");

void ConditionVariable::Wait() {
  TimedWait(INFINITE);
}

bool ConditionVariable::TimedWait(uint32_t milliseconds) {
#if !defined(NDEBUG)
  user_lock_->CheckHeldAndUnmark();
#endif
  const BOOL woken = ::SleepConditionVariableSRW(
      reinterpret_cast<CONDITION_VARIABLE*>(&native_),
      reinterpret_cast<SRWLOCK*>(&user_lock_->native_), milliseconds, 0);
  const DWORD error = woken ? ERROR_SUCCESS : ::GetLastError();
#if !defined(NDEBUG)
  user_lock_->MarkHeld();
#endif
  if (!woken && error != ERROR_TIMEOUT)
    ELOG(FATAL, error) << "SleepConditionVariableSRW failed";
  return woken != FALSE;
}

void ConditionVariable::Signal() {
  ::WakeConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&native_));
}

void ConditionVariable::Broadcast() {
  ::WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&native_));
}

}  // namespace base
