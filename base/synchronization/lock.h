#ifndef BASE_SYNCHRONIZATION_LOCK_H_
#define BASE_SYNCHRONIZATION_LOCK_H_

#include <stdint.h>

namespace base {

class ConditionVariable;

// An exclusive, non-recursive lock: a slim reader/writer lock taken exclusively, one
// pointer-sized word (debug builds also remember the owning thread for AssertAcquired).
// Usable as a constant-initialised global.
class Lock {
 public:
  constexpr Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  // Blocks until the lock is held. Reported to the activity tracker, with the calling code
  // address, while it waits.
  void Acquire();
  void Release();
  // Takes the lock when it is free; never blocks.
  bool Try();

  // Debug builds: fatal unless the calling thread holds the lock.
  void AssertAcquired() const;

 private:
  friend class ConditionVariable;

  void* native_ = nullptr;  // An SRWLOCK; SRWLOCK_INIT is all zero.
#if !defined(NDEBUG)
  void CheckHeldAndUnmark();
  void MarkHeld();
  uint32_t owning_thread_id_ = 0;
#endif
};

// Holds |lock| for the rest of the scope.
class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;
  ~AutoLock() { lock_.Release(); }

 private:
  Lock& lock_;
};

// Releases a held |lock| for the rest of the scope, then takes it again.
class AutoUnlock {
 public:
  explicit AutoUnlock(Lock& lock) : lock_(lock) {
    lock_.AssertAcquired();
    lock_.Release();
  }
  AutoUnlock(const AutoUnlock&) = delete;
  AutoUnlock& operator=(const AutoUnlock&) = delete;
  ~AutoUnlock() { lock_.Acquire(); }

 private:
  Lock& lock_;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_LOCK_H_
