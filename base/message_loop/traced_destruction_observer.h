#ifndef BASE_MESSAGE_LOOP_TRACED_DESTRUCTION_OBSERVER_H_
#define BASE_MESSAGE_LOOP_TRACED_DESTRUCTION_OBSERVER_H_

#include <stdint.h>

namespace base {

// Told when the current thread's MessageLoop is about to be destroyed
// (MessageLoop::AddDestructionObserver).
class DestructionObserver {
 public:
  virtual void WillDestroyCurrentMessageLoop() = 0;

 protected:
  virtual ~DestructionObserver() = default;
};

// The loop's record of one destruction observer: the observer and the return addresses of
// the code that added it, which tell in a crash dump who forgot to remove an observer that
// died before the loop.
class TracedDestructionObserver {
 public:
  static constexpr int kMaxFrames = 10;

  // Captures the calling thread's stack, without the innermost |frames_to_skip| frames.
  TracedDestructionObserver(DestructionObserver* observer, uint32_t frames_to_skip);
  TracedDestructionObserver(const TracedDestructionObserver&) = delete;
  TracedDestructionObserver& operator=(const TracedDestructionObserver&) = delete;
  ~TracedDestructionObserver();

  DestructionObserver* observer() const { return observer_; }
  const void* const* frames() const { return frames_; }
  int frame_count() const { return frame_count_; }

 private:
  DestructionObserver* observer_;
  void* frames_[kMaxFrames] = {};
  int frame_count_ = 0;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_TRACED_DESTRUCTION_OBSERVER_H_
