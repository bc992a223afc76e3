#include "base/debug/stack_trace.h"

#include <windows.h>

namespace base {
namespace debug {

StackTrace::StackTrace() {
  count_ = ::RtlCaptureStackBackTrace(0, static_cast<DWORD>(kMaxFrames), const_cast<void**>(trace_),
                                      nullptr);
}

}  // namespace debug
}  // namespace base
