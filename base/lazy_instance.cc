#include "base/lazy_instance.h"

#include <windows.h>

#include "base/exit_callback_registry.h"

namespace base {

namespace internal {

bool NeedsLazyInstance(std::atomic<uintptr_t>& state) {
  for (;;) {
    uintptr_t expected = 0;
    if (state.compare_exchange_strong(expected, kLazyInstanceCreating,
                                      std::memory_order_acquire, std::memory_order_acquire)) {
      return true;
    }
    if (expected == kLazyInstanceCreating)
      expected = WaitForLazyInstance(state);
    // 0 again only when the instance was destroyed meanwhile: compete again.
    if (expected != 0)
      return false;
  }
}

void CompleteLazyInstance(std::atomic<uintptr_t>& state,
                          uintptr_t instance,
                          void (*destroy)(void*),
                          void* argument) {
  state.store(instance, std::memory_order_release);
  if (destroy)
    ExitCallbackRegistry::RegisterCallback(destroy, argument);
}

}  // namespace internal

uintptr_t WaitForLazyInstance(std::atomic<uintptr_t>& state) {
  uintptr_t value;
  while ((value = state.load(std::memory_order_acquire)) == internal::kLazyInstanceCreating)
    ::Sleep(0);
  return value;
}

}  // namespace base
