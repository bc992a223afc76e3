#include "base/message_loop/traced_destruction_observer.h"

#include <windows.h>

namespace base {

// Not inlined: the frame it skips for itself must be its own.
__declspec(noinline) TracedDestructionObserver::TracedDestructionObserver(
    DestructionObserver* observer,
    uint32_t frames_to_skip)
    : observer_(observer) {
  frame_count_ = ::RtlCaptureStackBackTrace(frames_to_skip + 1, kMaxFrames, frames_, nullptr);
}

TracedDestructionObserver::~TracedDestructionObserver() = default;

}  // namespace base
