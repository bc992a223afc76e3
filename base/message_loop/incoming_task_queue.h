#ifndef BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_
#define BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_

#include <stdint.h>

#include "base/memory/ref_counted.h"
#include "base/pending_task.h"
#include "base/synchronization/lock.h"

namespace base {

class MessageLoop;

// The tasks posted to a message loop from any thread, under a lock, until the loop takes
// them all at once into its own work queue. Outlives the loop as long as task runners
// refer to it; posting fails once the loop is gone.
class IncomingTaskQueue : public RefCountedThreadSafe<IncomingTaskQueue> {
 public:
  explicit IncomingTaskQueue(MessageLoop* message_loop);
  IncomingTaskQueue(const IncomingTaskQueue&) = delete;
  IncomingTaskQueue& operator=(const IncomingTaskQueue&) = delete;

  // Queues |task| to run after |delay| (none when zero or negative) and wakes the loop when
  // it may be asleep. False once the loop is gone.
  bool AddToIncomingQueue(const Location& from_here, Closure task, TimeDelta delay);

  // Moves every queued task to the back of |work_queue|, which must be empty. When there
  // is none, the next post wakes the loop again. Called on the loop's thread.
  void ReloadWorkQueue(TaskQueue* work_queue);

  // The loop is being destroyed: no task is accepted from now on; the tasks still queued
  // are moved to |work_queue| for deletion. Called on the loop's thread.
  void WillDestroyCurrentMessageLoop(TaskQueue* work_queue);

  // The id that links the posting of a task of |message_loop| to its run in trace flow
  // events.
  static uint64_t TraceFlowId(const MessageLoop* message_loop, int32_t sequence_num);

 private:
  friend class RefCountedThreadSafe<IncomingTaskQueue>;
  ~IncomingTaskQueue();

  Lock lock_;
  // Null once the loop is gone. Under lock_.
  MessageLoop* message_loop_;
  TaskQueue incoming_queue_;   // Under lock_.
  uint32_t next_sequence_num_ = 0;  // Under lock_; wraps around.
  // True from a wake-up of the loop until the loop finds the queue empty. Under lock_.
  bool message_loop_scheduled_ = false;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_
