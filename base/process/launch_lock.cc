#include "base/process/launch_lock.h"

#include "base/logging.h"

namespace base {

namespace {

// Constant-initialised: usable from any static initialiser, never destroyed.
constinit LaunchLock g_launch_lock;

}  // namespace

void LaunchLock::Acquire() {
  const DWORD thread_id = ::GetCurrentThreadId();
  // Only this thread can have stored its own id, so this read cannot race with a change
  // that matters.
  if (owner_thread_.load(std::memory_order_relaxed) == thread_id) {
    ++depth_;
    return;
  }
  lock_.Acquire();
  owner_thread_.store(thread_id, std::memory_order_relaxed);
  depth_ = 1;
}

void LaunchLock::Release() {
  CHECK(owner_thread_.load(std::memory_order_relaxed) == ::GetCurrentThreadId())
      << "launch lock released by a thread that does not hold it";
  if (--depth_ > 0)
    return;
  owner_thread_.store(0, std::memory_order_relaxed);
  lock_.Release();
}

LaunchLock& GetLaunchLock() {
  return g_launch_lock;
}

}  // namespace base
