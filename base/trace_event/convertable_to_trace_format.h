#ifndef BASE_TRACE_EVENT_CONVERTABLE_TO_TRACE_FORMAT_H_
#define BASE_TRACE_EVENT_CONVERTABLE_TO_TRACE_FORMAT_H_

#include <string>

namespace base {
namespace trace_event {

class TraceEventMemoryOverhead;

// A trace event argument that writes its own JSON when the trace is exported, so that a
// structured value costs nothing to format while it is recorded. Owned by the event that
// carries it; written from whichever thread exports.
class ConvertableToTraceFormat {
 public:
  ConvertableToTraceFormat() = default;
  ConvertableToTraceFormat(const ConvertableToTraceFormat&) = delete;
  ConvertableToTraceFormat& operator=(const ConvertableToTraceFormat&) = delete;
  virtual ~ConvertableToTraceFormat() = default;

  // Appends one JSON value to |out|.
  virtual void AppendAsTraceFormat(std::string* out) const = 0;

  // Adds what the object costs; by default one object of unknown type, 8 bytes.
  virtual void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead);
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_CONVERTABLE_TO_TRACE_FORMAT_H_
