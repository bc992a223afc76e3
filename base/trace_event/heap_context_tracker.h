#ifndef BASE_TRACE_EVENT_HEAP_CONTEXT_TRACKER_H_
#define BASE_TRACE_EVENT_HEAP_CONTEXT_TRACKER_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace base {
namespace trace_event {

// The heap profiler's context of one thread: the pseudo-stack of the trace events it is
// inside and the stack of task contexts (the posting locations' file names of the tasks it
// runs). Kept only while pseudo-stack capture is on, which the process turns on at most
// once ("enable-heap-profiling") and never off. Each thread touches only its own tracker.
class HeapContextTracker {
 public:
  enum CaptureMode : uint32_t {
    kCaptureDisabled = 0,
    kCapturePseudoStack = 1,
  };

  struct PseudoStackFrame {
    const char* category_group;
    const char* event_name;
  };

  static constexpr size_t kMaxStackDepth = 128;
  static constexpr size_t kMaxTaskDepth = 16;

  HeapContextTracker(const HeapContextTracker&) = delete;
  HeapContextTracker& operator=(const HeapContextTracker&) = delete;
  ~HeapContextTracker();

  static CaptureMode GetCaptureMode();
  // Turns pseudo-stack capture on for the rest of the process; other modes are ignored.
  static void EnablePseudoStackCapture();

  // The calling thread's tracker, made on first use; null while capture is off, and while
  // the tracker is being made on this thread (its own allocations are not tracked).
  static HeapContextTracker* GetForCurrentThread();

  // Pushes beyond the depth limits are dropped; the pops that match them pop nothing, so
  // the entries below stay in place. A pop of an empty stack does nothing.
  void PushPseudoStackFrame(PseudoStackFrame frame);
  void PopPseudoStackFrame();
  void PushTaskContext(const char* context);
  void PopTaskContext();

  // Trace-log code that allocates is bracketed by these while capture is on.
  void IncrementIgnoreDepth() { ++ignore_depth_; }
  void DecrementIgnoreDepth() {
    if (ignore_depth_)
      --ignore_depth_;
  }

  const std::vector<PseudoStackFrame>& pseudo_stack() const { return pseudo_stack_; }
  const std::vector<const char*>& task_contexts() const { return task_contexts_; }
  uint32_t ignore_depth() const { return ignore_depth_; }

 private:
  HeapContextTracker();

  std::vector<PseudoStackFrame> pseudo_stack_;
  uint32_t dropped_frames_ = 0;
  std::vector<const char*> task_contexts_;
  uint32_t dropped_task_contexts_ = 0;
  uint32_t ignore_depth_ = 0;
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

// Marks the rest of the scope as the trace machinery's own work while capture is on.
class ScopedHeapProfilerIgnore {
 public:
  ScopedHeapProfilerIgnore() {
    if (HeapContextTracker::GetCaptureMode() == HeapContextTracker::kCaptureDisabled)
      return;
    tracker_ = HeapContextTracker::GetForCurrentThread();
    if (tracker_)
      tracker_->IncrementIgnoreDepth();
  }
  ScopedHeapProfilerIgnore(const ScopedHeapProfilerIgnore&) = delete;
  ScopedHeapProfilerIgnore& operator=(const ScopedHeapProfilerIgnore&) = delete;
  ~ScopedHeapProfilerIgnore() {
    if (tracker_)
      tracker_->DecrementIgnoreDepth();
  }

 private:
  HeapContextTracker* tracker_ = nullptr;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_HEAP_CONTEXT_TRACKER_H_
