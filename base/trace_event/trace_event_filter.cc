#include "base/trace_event/trace_event_filter.h"

#include <utility>

#include "base/hash/fnv1a.h"
#include "base/trace_event/heap_context_tracker.h"
#include "base/trace_event/trace_event_impl.h"

namespace base {
namespace trace_event {

const char EventNameFilter::kName[] = "event_whitelist_predicate";
const char HeapProfilerEventFilter::kName[] = "heap_profiler_predicate";

size_t EventNameFilter::NameHash::operator()(const std::string& name) const {
  return static_cast<size_t>(Fnv1a64(name.data(), name.size()));
}

EventNameFilter::EventNameFilter(std::unique_ptr<EventNames> names) : names_(std::move(names)) {}

bool EventNameFilter::FilterTraceEvent(const TraceEvent& event) const {
  return event.name() && names_->count(event.name()) != 0;
}

bool HeapProfilerEventFilter::FilterTraceEvent(const TraceEvent& event) const {
  if (HeapContextTracker::GetCaptureMode() != HeapContextTracker::kCapturePseudoStack)
    return true;
  if (event.flags() & kTraceEventFlagCopy)
    return true;
  HeapContextTracker* tracker = HeapContextTracker::GetForCurrentThread();
  if (!tracker)
    return true;
  const char phase = event.phase();
  if (phase == 'B' || phase == 'X')
    tracker->PushPseudoStackFrame({event.category_group_name(), event.name()});
  else if (phase == 'E')
    tracker->PopPseudoStackFrame();
  return true;
}

void HeapProfilerEventFilter::EndEvent(const char* category_group, const char* event_name) const {
  if (HeapContextTracker::GetCaptureMode() != HeapContextTracker::kCapturePseudoStack)
    return;
  HeapContextTracker* tracker = HeapContextTracker::GetForCurrentThread();
  if (tracker)
    tracker->PopPseudoStackFrame();
}

}  // namespace trace_event
}  // namespace base
