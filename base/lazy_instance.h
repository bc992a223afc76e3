#ifndef BASE_LAZY_INSTANCE_H_
#define BASE_LAZY_INSTANCE_H_

#include <stdint.h>

#include <atomic>
#include <new>

// Process-wide objects created on first use:
//
//   base::LazyInstance<FeatureRegistry> g_registry;           // a constant-initialised global
//   base::LazyInstance<TraceLog>::Leaky g_trace_log;          // never destroyed
//   ...
//   g_registry.Get().IsEnabled(name);
//
// The first Get moves the instance word from 0 to 1 by a compare-and-swap; the winner
// constructs the object in the LazyInstance's own storage, stores its address and registers
// its destruction with the ExitCallbackRegistry (without a registry the object lives until
// the process ends). Other threads yield with zero-length sleeps until the address is
// stored. After the registry has destroyed the object the word is 0 again, so a later Get
// creates a new one. Leaky instances are never destroyed.

namespace base {

namespace internal {

constexpr uintptr_t kLazyInstanceCreating = 1;

// True when the caller won the right to create the instance (the word is then 1); false
// once another thread has stored the instance.
bool NeedsLazyInstance(std::atomic<uintptr_t>& state);

// Stores |instance| in the word and, when |destroy| is given, registers destroy(argument)
// with the ExitCallbackRegistry.
void CompleteLazyInstance(std::atomic<uintptr_t>& state,
                          uintptr_t instance,
                          void (*destroy)(void*),
                          void* argument);

}  // namespace internal

// Yields with zero-length sleeps while another thread creates the instance; returns the
// word once it is no longer 1.
uintptr_t WaitForLazyInstance(std::atomic<uintptr_t>& state);

template <typename T, bool kLeaky = false>
class LazyInstance {
 public:
  using Leaky = LazyInstance<T, true>;

  constexpr LazyInstance() = default;
  LazyInstance(const LazyInstance&) = delete;
  LazyInstance& operator=(const LazyInstance&) = delete;

  T& Get() { return *Pointer(); }

  T* Pointer() {
    const uintptr_t value = state_.load(std::memory_order_acquire);
    if (value > internal::kLazyInstanceCreating)
      return reinterpret_cast<T*>(value);
    if (internal::NeedsLazyInstance(state_)) {
      T* instance = new (storage_) T();
      internal::CompleteLazyInstance(state_, reinterpret_cast<uintptr_t>(instance),
                                     kLeaky ? nullptr : &Destroy, this);
      return instance;
    }
    return reinterpret_cast<T*>(state_.load(std::memory_order_acquire));
  }

  bool IsCreated() const {
    return state_.load(std::memory_order_acquire) > internal::kLazyInstanceCreating;
  }

 private:
  static void Destroy(void* self) {
    LazyInstance* lazy = static_cast<LazyInstance*>(self);
    reinterpret_cast<T*>(lazy->state_.load(std::memory_order_acquire))->~T();
    lazy->state_.store(0, std::memory_order_release);
  }

  std::atomic<uintptr_t> state_{0};  // 0 none, 1 being created, else the instance.
  alignas(T) unsigned char storage_[sizeof(T)] = {};
};

}  // namespace base

#endif  // BASE_LAZY_INSTANCE_H_
