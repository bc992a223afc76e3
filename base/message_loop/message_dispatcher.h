#ifndef BASE_MESSAGE_LOOP_MESSAGE_DISPATCHER_H_
#define BASE_MESSAGE_LOOP_MESSAGE_DISPATCHER_H_

#include <windows.h>

namespace base {

// Sees every window message that the UI message pump takes from the queue while the
// RunLoop that holds it runs, before the pump translates and dispatches the message
// (e.g. to give dialogs their keyboard navigation).
class MessageDispatcher {
 public:
  // 0: the message was consumed, the pump does nothing more with it. Any other value: the
  // pump translates and dispatches it.
  virtual int Dispatch(const MSG& message) = 0;

 protected:
  virtual ~MessageDispatcher() = default;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_DISPATCHER_H_
