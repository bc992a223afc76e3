#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_DEFAULT_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_DEFAULT_H_

#include "base/message_loop/message_pump.h"
#include "base/synchronization/wait_event.h"

namespace base {

// The pump of a thread that waits for nothing but its own tasks: it sleeps on an
// automatic event, with a time-out when a delayed task is pending.
class MessagePumpDefault : public MessagePump {
 public:
  MessagePumpDefault();
  ~MessagePumpDefault() override;

  void ScheduleWork() override;

 private:
  void WaitForWork() override;

  // Signalled to wake the pump for new work.
  WaitEvent event_;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_DEFAULT_H_
