#ifndef BASE_DEBUG_STACK_TRACE_H_
#define BASE_DEBUG_STACK_TRACE_H_

#include <stddef.h>

namespace base {
namespace debug {

// The return addresses of the calling thread's stack at construction, innermost first,
// starting in the constructor's caller. Cheap: no symbols are resolved.
class StackTrace {
 public:
  static constexpr size_t kMaxFrames = 62;

  StackTrace();

  const void* const* addresses() const { return trace_; }
  size_t count() const { return count_; }

 private:
  const void* trace_[kMaxFrames];
  size_t count_;
};

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_STACK_TRACE_H_
