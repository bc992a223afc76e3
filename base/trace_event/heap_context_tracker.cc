#include "base/trace_event/heap_context_tracker.h"

namespace base {
namespace trace_event {

// static
HeapContextTracker::CaptureMode HeapContextTracker::GetCaptureMode() {
  return kCaptureDisabled;
}

// static
HeapContextTracker* HeapContextTracker::GetForCurrentThread() {
  return nullptr;
}

void HeapContextTracker::PushTaskContext(const char*) {}

void HeapContextTracker::PopTaskContext() {}

}  // namespace trace_event
}  // namespace base
