#ifndef BASE_LAZY_INSTANCE_H_
#define BASE_LAZY_INSTANCE_H_

#include <stdint.h>

#include <atomic>
#include <new>

#include "base/exit_callback_registry.h"

// Process-wide objects created on first use:
//
//   base::LazyInstance<WindowClass> g_window_class;           // a constant-initialised global
//   base::LazyInstance<TraceLog>::Leaky g_trace_log;          // never destroyed
//   base::LazyInstance<FeatureRegistry>::Cleared g_registry;  // emptied at exit, never destroyed
//   ...
//   g_registry.Get().IsEnabled(name);
//
// The first Get moves the instance word from 0 to 1 by a compare-and-swap; the winner
// constructs the object in the LazyInstance's own storage and stores its address. Other
// threads yield with zero-length sleeps until the address is stored. How the object ends:
// - by default the winner registers its destruction with the ExitCallbackRegistry (without
//   a registry the object lives until the process ends); after the registry has destroyed
//   it the word is 0 again, so a later Get creates a new one;
// - Leaky instances are never destroyed;
// - Cleared instances are never destroyed either, so that threads which were never joined
//   (pool threads) may still use them after the registry ran; the registry's clean-up calls
//   T::Clear() instead, which must give back what the object holds under the object's own
//   lock. The clean-up is registered by the first Get, and again by the first Get after it
//   ran.

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

enum class LazyInstanceEnd { kDestroyed, kLeaked, kCleared };

template <typename T, LazyInstanceEnd kEnd = LazyInstanceEnd::kDestroyed>
class LazyInstance {
 public:
  using Leaky = LazyInstance<T, LazyInstanceEnd::kLeaked>;
  using Cleared = LazyInstance<T, LazyInstanceEnd::kCleared>;

  constexpr LazyInstance() = default;
  LazyInstance(const LazyInstance&) = delete;
  LazyInstance& operator=(const LazyInstance&) = delete;

  T& Get() { return *Pointer(); }

  T* Pointer() {
    if constexpr (kEnd == LazyInstanceEnd::kCleared)
      RegisterClearIfNeeded();
    const uintptr_t value = state_.load(std::memory_order_acquire);
    if (value > internal::kLazyInstanceCreating)
      return reinterpret_cast<T*>(value);
    if (internal::NeedsLazyInstance(state_)) {
      T* instance = new (storage_) T();
      internal::CompleteLazyInstance(
          state_, reinterpret_cast<uintptr_t>(instance),
          kEnd == LazyInstanceEnd::kDestroyed ? &Destroy : nullptr, this);
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

  void RegisterClearIfNeeded() {
    if (!clear_registered_.load(std::memory_order_acquire) &&
        !clear_registered_.exchange(true, std::memory_order_acq_rel)) {
      ExitCallbackRegistry::RegisterCallback(&Clear, this);
    }
  }

  static void Clear(void* self) {
    LazyInstance* lazy = static_cast<LazyInstance*>(self);
    // Re-armed first: a Get racing the clean-up registers the next one.
    lazy->clear_registered_.store(false, std::memory_order_release);
    if (lazy->IsCreated())
      reinterpret_cast<T*>(lazy->state_.load(std::memory_order_acquire))->Clear();
  }

  std::atomic<uintptr_t> state_{0};  // 0 none, 1 being created, else the instance.
  std::atomic<bool> clear_registered_{false};  // Cleared instances only.
  alignas(T) unsigned char storage_[sizeof(T)] = {};
};

}  // namespace base

#endif  // BASE_LAZY_INSTANCE_H_
