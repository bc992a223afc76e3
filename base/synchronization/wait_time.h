#ifndef BASE_SYNCHRONIZATION_WAIT_TIME_H_
#define BASE_SYNCHRONIZATION_WAIT_TIME_H_

#include <windows.h>

#include "base/time/time.h"

namespace base {

// The time-out in milliseconds of a system wait that should last until |deadline|:
// INFINITE for a null deadline, 0 once it has passed, otherwise rounded up so that the wait
// never ends before the deadline. Deadlines beyond the longest finite time-out give
// INFINITE - 1: the caller waits again when that wait ends.
inline DWORD GetWaitMilliseconds(TimeTicks deadline) {
  if (deadline.is_null())
    return INFINITE;
  const int64_t microseconds = (deadline - TimeTicks::Now()).InMicroseconds();
  if (microseconds <= 0)
    return 0;
  const int64_t milliseconds = microseconds / 1000 + (microseconds % 1000 ? 1 : 0);
  return milliseconds >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(milliseconds);
}

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_WAIT_TIME_H_
