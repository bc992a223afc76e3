#ifndef BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_
#define BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_

#include <stdint.h>

namespace base {

class Lock;

// A condition variable over a Lock: Wait and TimedWait release the lock while they sleep
// and hold it again when they return. Wake-ups may be spurious: wait in a loop that tests
// the condition.
class ConditionVariable {
 public:
  explicit ConditionVariable(Lock* user_lock) : user_lock_(user_lock) {}
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  // The lock must be held.
  void Wait();
  // Returns false when |milliseconds| passed without a wake-up.
  bool TimedWait(uint32_t milliseconds);

  // Wakes one waiter / every waiter.
  void Signal();
  void Broadcast();

 private:
  Lock* user_lock_;
  void* native_ = nullptr;  // A CONDITION_VARIABLE; CONDITION_VARIABLE_INIT is all zero.
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_
