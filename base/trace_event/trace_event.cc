#include "base/trace_event/trace_event.h"

#include <windows.h>

namespace base {
namespace trace_event {
namespace internal {

TraceEventHandle AddTraceEvent(char phase,
                               const unsigned char* category_flag,
                               const char* name,
                               uint64_t id,
                               uint32_t flags,
                               const TraceArgs& args) {
  // No category is ever enabled yet, so no site gets here and no clock is read: the
  // timestamp stays 0 until events are recorded.
  return TraceLog::GetInstance()->AddTraceEvent(phase, category_flag, name, nullptr, id, 0,
                                                ::GetCurrentThreadId(), 0, args.count,
                                                args.names, args.types, args.values, flags);
}

}  // namespace internal
}  // namespace trace_event
}  // namespace base
