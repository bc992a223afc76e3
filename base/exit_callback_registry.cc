#include "base/exit_callback_registry.h"

#include "base/logging.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

// Process-wide, so that it outlives every registry: it guards the current registry
// pointer and the callbacks.
Lock g_registry_lock;
ExitCallbackRegistry* g_current_registry = nullptr;

}  // namespace

ExitCallbackRegistry::ExitCallbackRegistry() {
  AutoLock lock(g_registry_lock);
  CHECK(!g_current_registry) << "only one ExitCallbackRegistry may exist at a time";
  g_current_registry = this;
}

ExitCallbackRegistry::~ExitCallbackRegistry() {
  // One at a time, outside the lock: a callback may register further callbacks (for
  // example by creating a lazy instance), which run too.
  for (;;) {
    std::pair<Callback, void*> entry;
    {
      AutoLock lock(g_registry_lock);
      if (callbacks_.empty()) {
        g_current_registry = nullptr;
        break;
      }
      entry = callbacks_.back();
      callbacks_.pop_back();
    }
    entry.first(entry.second);
  }
}

// static
void ExitCallbackRegistry::RegisterCallback(Callback callback, void* argument) {
  AutoLock lock(g_registry_lock);
  if (!g_current_registry) {
    VLOG(1) << "No exit callback registry: clean-up callback dropped";
    return;
  }
  g_current_registry->callbacks_.emplace_back(callback, argument);
}

}  // namespace base
