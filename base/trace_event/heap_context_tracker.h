#ifndef BASE_TRACE_EVENT_HEAP_CONTEXT_TRACKER_H_
#define BASE_TRACE_EVENT_HEAP_CONTEXT_TRACKER_H_

#include <stdint.h>

namespace base {
namespace trace_event {

// The heap profiler's per-thread context: the pseudo-stack of trace events and the stack of
// task contexts (the posting locations' file names of the running tasks). Only kept while
// pseudo-stack capture is on ("enable-heap-profiling"); it is never on in this program yet.
class HeapContextTracker {
 public:
  enum CaptureMode : uint32_t {
    kCaptureDisabled = 0,
    kCapturePseudoStack = 1,
  };

  static CaptureMode GetCaptureMode();

  // The calling thread's tracker, or null.
  static HeapContextTracker* GetForCurrentThread();

  void PushTaskContext(const char* context);
  void PopTaskContext();

 private:
  HeapContextTracker() = default;
};

// Pushes a task context for the rest of the scope while capture is on (the task runtime
// wraps each task run in one).
class ScopedTaskContext {
 public:
  explicit ScopedTaskContext(const char* context) {
    if (HeapContextTracker::GetCaptureMode() == HeapContextTracker::kCaptureDisabled)
      return;
    tracker_ = HeapContextTracker::GetForCurrentThread();
    if (tracker_)
      tracker_->PushTaskContext(context);
  }
  ScopedTaskContext(const ScopedTaskContext&) = delete;
  ScopedTaskContext& operator=(const ScopedTaskContext&) = delete;
  ~ScopedTaskContext() {
    if (tracker_)
      tracker_->PopTaskContext();
  }

 private:
  HeapContextTracker* tracker_ = nullptr;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_HEAP_CONTEXT_TRACKER_H_
