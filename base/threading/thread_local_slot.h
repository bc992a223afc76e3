#ifndef BASE_THREADING_THREAD_LOCAL_SLOT_H_
#define BASE_THREADING_THREAD_LOCAL_SLOT_H_

#include <stdint.h>

#include <atomic>

namespace base {

// One of 256 process-wide thread-local slots: a pointer per thread, with an optional
// destructor that runs with a thread's non-null value when that thread ends.
// Usable as a constant-initialised global; Initialize before use.
class ThreadLocalSlot {
 public:
  using Destructor = void (*)(void* value);

  static constexpr int kSlotCount = 256;

  constexpr ThreadLocalSlot() = default;
  ThreadLocalSlot(const ThreadLocalSlot&) = delete;
  ThreadLocalSlot& operator=(const ThreadLocalSlot&) = delete;

  // Reserves a slot, with |destructor| (or null). All slots in use is a fatal error.
  void Initialize(Destructor destructor);
  // Gives the slot back. Values that threads stored in it become invisible and their
  // destructor no longer runs.
  void Free();

  bool initialized() const { return index_ >= 0; }

  // The calling thread's value; null when it never set one since the slot was reserved.
  void* Get() const;
  void Set(void* value);

 private:
  int32_t index_ = -1;
  uint32_t version_ = 0;  // Tells this reservation's values from those of earlier ones.
};

// A slot reserved on first use, never freed. Usable as a constant-initialised global.
class LazyThreadLocalSlot {
 public:
  constexpr explicit LazyThreadLocalSlot(ThreadLocalSlot::Destructor destructor = nullptr)
      : destructor_(destructor) {}
  LazyThreadLocalSlot(const LazyThreadLocalSlot&) = delete;
  LazyThreadLocalSlot& operator=(const LazyThreadLocalSlot&) = delete;

  ThreadLocalSlot& Get();

 private:
  std::atomic<uintptr_t> state_{0};  // The lazy-instance state word (base/lazy_instance.h).
  ThreadLocalSlot slot_;
  ThreadLocalSlot::Destructor destructor_;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_LOCAL_SLOT_H_
