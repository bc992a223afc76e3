#include "base/message_loop/message_pump_default.h"

namespace base {

MessagePumpDefault::MessagePumpDefault()
    : event_(WaitEvent::ResetPolicy::AUTOMATIC, WaitEvent::InitialState::NOT_SIGNALED) {}

MessagePumpDefault::~MessagePumpDefault() = default;

void MessagePumpDefault::ScheduleWork() {
  event_.Signal();
}

void MessagePumpDefault::WaitForWork() {
  // Whether woken or timed out, the next pass finds out what is due.
  if (delayed_work_time_.is_null())
    event_.Wait();
  else
    event_.TimedWait(delayed_work_time_ - TimeTicks::Now());
}

}  // namespace base
