#include "base/metrics/activity_tracker.h"

namespace base {

// No tracker memory exists, so no activity is ever pushed: each constructor leaves its
// ScopedActivity empty.

ScopedActivity ScopedActivity::ForTaskRun(const void*, const PendingTask&) {
  return ScopedActivity();
}

ScopedActivity ScopedActivity::ForLockAcquire(const void*, const Lock*) {
  return ScopedActivity();
}

ScopedActivity ScopedActivity::ForEventWait(const void*, const WaitEvent*) {
  return ScopedActivity();
}

ScopedActivity ScopedActivity::ForThreadJoin(const void*, void*) {
  return ScopedActivity();
}

ScopedActivity ScopedActivity::ForProcessWait(const void*, const Process&) {
  return ScopedActivity();
}

ScopedActivity::~ScopedActivity() = default;

ActivityTrackerRegistry* ActivityTrackerRegistry::Get() {
  return nullptr;
}

void ActivityTrackerRegistry::RecordLogMessage(const char*, size_t) {}

}  // namespace base
