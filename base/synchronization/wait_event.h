#ifndef BASE_SYNCHRONIZATION_WAIT_EVENT_H_
#define BASE_SYNCHRONIZATION_WAIT_EVENT_H_

#include <windows.h>

#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

// A kernel event that threads signal and wait for.
class WaitEvent {
 public:
  enum class ResetPolicy {
    MANUAL = 0,     // Stays signalled until Reset.
    AUTOMATIC = 1,  // A wait that succeeds resets it; one waiter wakes per Signal.
  };
  // Note the order: 0 is the signalled state.
  enum class InitialState {
    SIGNALED = 0,
    NOT_SIGNALED = 1,
  };

  WaitEvent(ResetPolicy reset_policy, InitialState initial_state);
  // Adopts an existing event handle.
  explicit WaitEvent(win::ScopedHandle event_handle);
  WaitEvent(const WaitEvent&) = delete;
  WaitEvent& operator=(const WaitEvent&) = delete;
  ~WaitEvent();

  void Signal();
  void Reset();

  // Waits without a time limit until the event is signalled.
  void Wait();
  // Waits at most |max_time| (negative counts as zero); true when the event was signalled.
  bool TimedWait(TimeDelta max_time);

  // Whether the event is signalled now. For an automatic event this is a successful wait:
  // it resets the event.
  bool IsSignaled();

  HANDLE handle() const { return handle_.Get(); }

 private:
  win::ScopedHandle handle_;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_WAIT_EVENT_H_
