#include "base/message_loop/incoming_task_queue.h"

#include <utility>

#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/metrics/task_profiler.h"
#include "base/trace_event/trace_event.h"

namespace base {

IncomingTaskQueue::IncomingTaskQueue(MessageLoop* message_loop) : message_loop_(message_loop) {}

IncomingTaskQueue::~IncomingTaskQueue() = default;

// static
uint64_t IncomingTaskQueue::TraceFlowId(const MessageLoop* message_loop, int32_t sequence_num) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(sequence_num)) << 32) ^
         static_cast<uint64_t>(reinterpret_cast<uintptr_t>(message_loop));
}

bool IncomingTaskQueue::AddToIncomingQueue(const Location& from_here,
                                           Closure task,
                                           TimeDelta delay) {
  DCHECK(task) << "posting a null task from " << from_here.function_name();
  PendingTask pending_task(from_here, std::move(task),
                           delay > TimeDelta() ? TimeTicks::Now() + delay : TimeTicks());
  if (ThreadData* thread_data = ThreadData::Get())
    pending_task.birth_tally = thread_data->TallyBirth(from_here);
  pending_task.time_posted = ThreadData::Now();

  const MessageLoop* message_loop = nullptr;
  int32_t sequence_num = 0;
  {
    AutoLock lock(lock_);
    if (message_loop_) {
      message_loop = message_loop_;
      sequence_num = static_cast<int32_t>(next_sequence_num_++);
      pending_task.sequence_num = sequence_num;
      incoming_queue_.push(std::move(pending_task));
      // The loop is woken once per batch: it finds the rest when it takes the queue. The
      // lock keeps the loop (and its pump) alive during the call.
      if (!message_loop_scheduled_) {
        message_loop_scheduled_ = true;
        message_loop_->ScheduleWork();
      }
    }
  }
  // A rejected task is destroyed here, outside the lock: its bound state may post again.
  if (!message_loop)
    return false;
  TRACE_EVENT_FLOW_BEGIN0(TRACE_DISABLED_BY_DEFAULT("toplevel.flow"), "MessageLoop::PostTask",
                          TraceFlowId(message_loop, sequence_num));
  return true;
}

void IncomingTaskQueue::ReloadWorkQueue(TaskQueue* work_queue) {
  DCHECK(work_queue->empty());
  AutoLock lock(lock_);
  if (incoming_queue_.empty())
    message_loop_scheduled_ = false;
  else
    incoming_queue_.swap(*work_queue);
}

void IncomingTaskQueue::WillDestroyCurrentMessageLoop(TaskQueue* work_queue) {
  AutoLock lock(lock_);
  message_loop_ = nullptr;
  while (!incoming_queue_.empty()) {
    work_queue->push(std::move(incoming_queue_.front()));
    incoming_queue_.pop();
  }
}

}  // namespace base
