#include "base/trace_event/heap_context_tracker.h"

#include <atomic>

#include "base/synchronization/lock.h"
#include "base/threading/thread_local_slot.h"

namespace base {
namespace trace_event {

namespace {

// Stored in the slot while this thread makes its tracker.
void* const kTrackerBeingMade = reinterpret_cast<void*>(~uintptr_t{0});

std::atomic<uint32_t> g_capture_mode{HeapContextTracker::kCaptureDisabled};
Lock g_enable_lock;
ThreadLocalSlot g_tracker_slot;  // Reserved before the capture mode is set.

void DeleteTracker(void* value) {
  if (value != kTrackerBeingMade)
    delete static_cast<HeapContextTracker*>(value);
}

}  // namespace

HeapContextTracker::HeapContextTracker() {
  pseudo_stack_.reserve(kMaxStackDepth);
  task_contexts_.reserve(kMaxTaskDepth);
}

HeapContextTracker::~HeapContextTracker() = default;

// static
HeapContextTracker::CaptureMode HeapContextTracker::GetCaptureMode() {
  return static_cast<CaptureMode>(g_capture_mode.load(std::memory_order_acquire));
}

// static
void HeapContextTracker::EnablePseudoStackCapture() {
  AutoLock lock(g_enable_lock);
  if (!g_tracker_slot.initialized())
    g_tracker_slot.Initialize(&DeleteTracker);
  g_capture_mode.store(kCapturePseudoStack, std::memory_order_release);
}

// static
HeapContextTracker* HeapContextTracker::GetForCurrentThread() {
  if (GetCaptureMode() == kCaptureDisabled)
    return nullptr;
  void* value = g_tracker_slot.Get();
  if (value == kTrackerBeingMade)
    return nullptr;
  if (!value) {
    g_tracker_slot.Set(kTrackerBeingMade);
    value = new HeapContextTracker();
    g_tracker_slot.Set(value);
  }
  return static_cast<HeapContextTracker*>(value);
}

void HeapContextTracker::PushPseudoStackFrame(PseudoStackFrame frame) {
  if (pseudo_stack_.size() < kMaxStackDepth && !dropped_frames_)
    pseudo_stack_.push_back(frame);
  else
    ++dropped_frames_;
}

void HeapContextTracker::PopPseudoStackFrame() {
  if (dropped_frames_)
    --dropped_frames_;
  else if (!pseudo_stack_.empty())
    pseudo_stack_.pop_back();
}

void HeapContextTracker::PushTaskContext(const char* context) {
  if (task_contexts_.size() < kMaxTaskDepth && !dropped_task_contexts_)
    task_contexts_.push_back(context);
  else
    ++dropped_task_contexts_;
}

void HeapContextTracker::PopTaskContext() {
  if (dropped_task_contexts_)
    --dropped_task_contexts_;
  else if (!task_contexts_.empty())
    task_contexts_.pop_back();
}

}  // namespace trace_event
}  // namespace base
