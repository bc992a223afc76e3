#ifndef BASE_METRICS_ACTIVITY_TRACKER_H_
#define BASE_METRICS_ACTIVITY_TRACKER_H_

#include <stddef.h>
#include <stdint.h>

// Hooks of the activity tracker, which keeps per thread a stack of what the thread is doing
// (running a task, acquiring a lock, waiting) for post-mortem reading. The hooks are called
// throughout the base library and the task runtime; the process-wide tracker is never
// created in this program, so each hook only tests for it and records nothing.

namespace base {

class Lock;
class Process;
class ThreadTracker;
class WaitEvent;
struct PendingTask;

// One activity of the calling thread: pushed by the named constructors below, popped by
// the destructor. Hold it in a local for the duration of the activity:
//   ScopedActivity activity = ScopedActivity::ForLockAcquire(pc, this);
class ScopedActivity {
 public:
  // |calling_address| is the code address of the site that started the activity (see
  // GetProgramCounter in base/debug/program_counter.h).
  static ScopedActivity ForTaskRun(const void* calling_address, const PendingTask& task);
  static ScopedActivity ForLockAcquire(const void* calling_address, const Lock* lock);
  static ScopedActivity ForEventWait(const void* calling_address, const WaitEvent* event);
  static ScopedActivity ForThreadJoin(const void* calling_address, void* thread_handle);
  static ScopedActivity ForProcessWait(const void* calling_address, const Process& process);

  ScopedActivity(const ScopedActivity&) = delete;
  ScopedActivity& operator=(const ScopedActivity&) = delete;
  ~ScopedActivity();

 private:
  ScopedActivity() = default;

  ThreadTracker* tracker_ = nullptr;  // Null: nothing was pushed.
  uint32_t record_index_ = 0;
};

// The process-wide registry of thread trackers.
class ActivityTrackerRegistry {
 public:
  // The registry, or null while none exists (always, in this program).
  static ActivityTrackerRegistry* Get();

  // Keeps the text of a fatal log message for post-mortem reading; nothing without a
  // registry.
  static void RecordLogMessage(const char* text, size_t length);
};

}  // namespace base

#endif  // BASE_METRICS_ACTIVITY_TRACKER_H_
