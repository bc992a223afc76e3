#ifndef BASE_TRACE_EVENT_TRACE_EVENT_FILTER_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_FILTER_H_

#include <stddef.h>

#include <memory>
#include <string>
#include <unordered_set>

namespace base {
namespace trace_event {

class TraceEvent;

// Sees the events of the categories its configuration enables (TraceFilterConfig) and
// decides whether each is recorded; an event is recorded when some filter keeps it.
// Called on the recording threads, concurrently: filters keep no shared mutable state.
class TraceEventFilter {
 public:
  TraceEventFilter() = default;
  TraceEventFilter(const TraceEventFilter&) = delete;
  TraceEventFilter& operator=(const TraceEventFilter&) = delete;
  virtual ~TraceEventFilter() = default;

  // Whether |event| is kept.
  virtual bool FilterTraceEvent(const TraceEvent& event) const = 0;
  // A scoped event of a filtered category ended.
  virtual void EndEvent(const char* category_group, const char* event_name) const {}
};

// Keeps the events whose name is in its list ("event_whitelist_predicate", the list from
// the filter argument "event_name_whitelist").
class EventNameFilter : public TraceEventFilter {
 public:
  static const char kName[];

  struct NameHash {
    size_t operator()(const std::string& name) const;  // 64-bit FNV-1a.
  };
  using EventNames = std::unordered_set<std::string, NameHash>;

  explicit EventNameFilter(std::unique_ptr<EventNames> names);

  bool FilterTraceEvent(const TraceEvent& event) const override;

 private:
  const std::unique_ptr<EventNames> names_;
};

// Keeps every event and, while pseudo-stack capture is on, keeps the thread's heap-profiler
// pseudo-stack ("heap_profiler_predicate"): 'B' and 'X' events push a frame, 'E' events and
// the ends of 'X' events pop one. Events with copied names are left out, since their names
// do not live long enough.
class HeapProfilerEventFilter : public TraceEventFilter {
 public:
  static const char kName[];

  bool FilterTraceEvent(const TraceEvent& event) const override;
  void EndEvent(const char* category_group, const char* event_name) const override;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_FILTER_H_
