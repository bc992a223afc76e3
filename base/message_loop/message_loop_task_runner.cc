#include "base/message_loop/message_loop_task_runner.h"

#include <utility>

namespace base {

MessageLoopTaskRunner::MessageLoopTaskRunner(scoped_refptr<IncomingTaskQueue> incoming_queue,
                                             DWORD thread_id)
    : incoming_queue_(std::move(incoming_queue)), thread_id_(thread_id) {}

MessageLoopTaskRunner::~MessageLoopTaskRunner() = default;

bool MessageLoopTaskRunner::PostDelayedTask(const Location& from_here,
                                            Closure task,
                                            TimeDelta delay) {
  return incoming_queue_->AddToIncomingQueue(from_here, std::move(task), delay);
}

bool MessageLoopTaskRunner::RunsTasksOnCurrentThread() const {
  return ::GetCurrentThreadId() == thread_id_;
}

}  // namespace base
