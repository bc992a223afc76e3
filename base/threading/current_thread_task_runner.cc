#include "base/threading/current_thread_task_runner.h"

#include "base/threading/thread_local_slot.h"

namespace base {

namespace {

LazyThreadLocalSlot g_task_runner_slot;

}  // namespace

// static
scoped_refptr<SingleThreadTaskRunner> CurrentThreadTaskRunner::Get() {
  return scoped_refptr<SingleThreadTaskRunner>(
      static_cast<SingleThreadTaskRunner*>(Slot().Get()));
}

// static
bool CurrentThreadTaskRunner::IsSet() {
  return Slot().Get() != nullptr;
}

// static
ThreadLocalSlot& CurrentThreadTaskRunner::Slot() {
  return g_task_runner_slot.Get();
}

}  // namespace base
