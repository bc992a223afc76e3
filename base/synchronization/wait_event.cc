#include "base/synchronization/wait_event.h"

#include <utility>

#include "base/debug/program_counter.h"
#include "base/logging.h"
#include "base/metrics/activity_tracker.h"
#include "base/synchronization/wait_time.h"

namespace base {

WaitEvent::WaitEvent(ResetPolicy reset_policy, InitialState initial_state)
    : handle_(::CreateEventW(nullptr, reset_policy == ResetPolicy::MANUAL,
                             initial_state == InitialState::SIGNALED, nullptr)) {
  // Without its event no waiter could ever be woken.
  CHECK(handle_.IsValid()) << "CreateEvent failed: " << ::GetLastError();
}

WaitEvent::WaitEvent(win::ScopedHandle event_handle) : handle_(std::move(event_handle)) {
  CHECK(handle_.IsValid());
}

WaitEvent::~WaitEvent() = default;

void WaitEvent::Signal() {
  if (!::SetEvent(handle_.Get()))
    PLOG(FATAL) << "SetEvent failed";
}

void WaitEvent::Reset() {
  if (!::ResetEvent(handle_.Get()))
    PLOG(FATAL) << "ResetEvent failed";
}

void WaitEvent::Wait() {
  ScopedActivity activity = ScopedActivity::ForEventWait(debug::GetProgramCounter(), this);
  const DWORD result = ::WaitForSingleObject(handle_.Get(), INFINITE);
  if (result != WAIT_OBJECT_0)
    PLOG(FATAL) << "WaitForSingleObject failed: " << result;
}

bool WaitEvent::TimedWait(TimeDelta max_time) {
  ScopedActivity activity = ScopedActivity::ForEventWait(debug::GetProgramCounter(), this);
  // A false result means that the time really passed; a wait longer than the system's
  // longest finite time-out is made of several.
  const TimeTicks end = TimeTicks::Now() + (max_time < TimeDelta() ? TimeDelta() : max_time);
  for (;;) {
    const DWORD wait = GetWaitMilliseconds(end);
    const DWORD result = ::WaitForSingleObject(handle_.Get(), wait);
    if (result == WAIT_OBJECT_0)
      return true;
    if (result != WAIT_TIMEOUT)
      PLOG(FATAL) << "WaitForSingleObject failed: " << result;
    if (wait != INFINITE - 1)
      return false;
  }
}

bool WaitEvent::IsSignaled() {
  const DWORD result = ::WaitForSingleObject(handle_.Get(), 0);
  if (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT)
    PLOG(FATAL) << "WaitForSingleObject failed: " << result;
  return result == WAIT_OBJECT_0;
}

}  // namespace base
