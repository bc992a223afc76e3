#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_

#include <windows.h>

#include "base/memory/ref_counted.h"
#include "base/message_loop/incoming_task_queue.h"
#include "base/single_thread_task_runner.h"

namespace base {

// The task runner of a message loop: posts into the loop's incoming queue from any thread.
class MessageLoopTaskRunner : public SingleThreadTaskRunner {
 public:
  MessageLoopTaskRunner(scoped_refptr<IncomingTaskQueue> incoming_queue, DWORD thread_id);

  bool PostDelayedTask(const Location& from_here, Closure task, TimeDelta delay) override;
  bool RunsTasksOnCurrentThread() const override;

 private:
  ~MessageLoopTaskRunner() override;

  const scoped_refptr<IncomingTaskQueue> incoming_queue_;
  const DWORD thread_id_;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_
