#include "base/trace_event/trace_log.h"

#include "base/lazy_instance.h"

// Nothing records yet: every category group shares one flag that stays 0, so instrumented
// sites never get past their flag test.

namespace base {
namespace trace_event {

namespace {

const unsigned char g_disabled_category_flag = 0;

LazyInstance<TraceLog>::Leaky g_trace_log;

}  // namespace

// static
TraceLog* TraceLog::GetInstance() {
  return g_trace_log.Pointer();
}

// static
const unsigned char* TraceLog::GetCategoryEnabledFlag(const char*) {
  return &g_disabled_category_flag;
}

TraceEventHandle TraceLog::AddTraceEvent(char,
                                         const unsigned char*,
                                         const char*,
                                         const char*,
                                         uint64_t,
                                         uint64_t,
                                         uint32_t,
                                         int64_t,
                                         int,
                                         const char* const*,
                                         const unsigned char*,
                                         const uint64_t*,
                                         uint32_t) {
  return TraceEventHandle();
}

void TraceLog::UpdateTraceEventDuration(const unsigned char*, const char*, TraceEventHandle) {}

}  // namespace trace_event
}  // namespace base
