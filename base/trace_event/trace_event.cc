#include "base/trace_event/trace_event.h"

#include <windows.h>

#include "base/time/time.h"

namespace base {
namespace trace_event {
namespace internal {

TraceEventHandle AddTraceEvent(char phase,
                               const unsigned char* category_flag,
                               const char* name,
                               uint64_t id,
                               uint32_t flags,
                               const TraceArgs& args) {
  return TraceLog::GetInstance()->AddTraceEvent(
      phase, category_flag, name, nullptr, id, 0, static_cast<int>(::GetCurrentThreadId()),
      TimeTicks::Now().ToInternalValue(), args.count, args.names, args.types, args.values,
      nullptr, flags);
}

}  // namespace internal
}  // namespace trace_event
}  // namespace base
