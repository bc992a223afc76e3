#ifndef BASE_TRACE_EVENT_TRACE_LOG_H_
#define BASE_TRACE_EVENT_TRACE_LOG_H_

#include <stdint.h>

namespace base {
namespace trace_event {

// Identifies a recorded event so that its duration can be filled in; all zero when
// nothing was recorded.
struct TraceEventHandle {
  uint32_t chunk_seq = 0;
  uint16_t chunk_index = 0;
  uint16_t event_index = 0;
};

// The process-wide recorder of trace events. Instrumented sites use the macros of
// base/trace_event/trace_event.h, which test the category's enabled flag first.
class TraceLog {
 public:
  // Bits of a category's enabled flag.
  enum CategoryFlags : unsigned char {
    kEnabledForRecording = 1,
    kEnabledForEtwExport = 8,
    kEnabledForFiltering = 16,
  };

  static TraceLog* GetInstance();

  // The address of the enabled flag of |category_group| (one or more category names
  // separated by ","), valid for the rest of the process.
  static const unsigned char* GetCategoryEnabledFlag(const char* category_group);

  // Records one event; |timestamp| in microseconds of the monotonic clock. Argument types
  // are listed in base/trace_event/trace_event.h.
  TraceEventHandle AddTraceEvent(char phase,
                                 const unsigned char* category_flag,
                                 const char* name,
                                 const char* scope,
                                 uint64_t id,
                                 uint64_t bind_id,
                                 uint32_t thread_id,
                                 int64_t timestamp,
                                 int num_args,
                                 const char* const* arg_names,
                                 const unsigned char* arg_types,
                                 const uint64_t* arg_values,
                                 uint32_t flags);

  // Completes an event of phase 'X' recorded by AddTraceEvent.
  void UpdateTraceEventDuration(const unsigned char* category_flag,
                                const char* name,
                                TraceEventHandle handle);
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_LOG_H_
