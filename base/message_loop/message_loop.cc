#include "base/message_loop/message_loop.h"

#include <utility>

#include "base/logging.h"
#include "base/message_loop/message_loop_task_runner.h"
#include "base/message_loop/message_pump_default.h"
#include "base/message_loop/message_pump_ui.h"
#include "base/metrics/activity_tracker.h"
#include "base/metrics/task_profiler.h"
#include "base/run_loop.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/threading/thread_local_slot.h"
#include "base/trace_event/trace_event.h"

namespace base {

namespace {

// Deleting a task may post another; deletion stops after this many rounds.
constexpr int kMaxDeletionRounds = 100;

LazyThreadLocalSlot g_current_loop_slot;

std::unique_ptr<MessagePump> CreatePump(MessageLoop::Type type) {
  switch (type) {
    case MessageLoop::TYPE_UI:
      return std::unique_ptr<MessagePump>(new MessagePumpForUI);
    case MessageLoop::TYPE_IO:
      return std::unique_ptr<MessagePump>(new MessagePumpForIO);
    case MessageLoop::TYPE_DEFAULT:
      break;
  }
  return std::unique_ptr<MessagePump>(new MessagePumpDefault);
}

}  // namespace

MessageLoop::MessageLoop(Type type) : type_(type) {
  ThreadLocalSlot& slot = CurrentLoopSlot();
  CHECK(!slot.Get()) << "The thread already has a MessageLoop";
  pump_ = CreatePump(type);
  incoming_task_queue_ = MakeRefCounted<IncomingTaskQueue>(this);
  task_runner_ = MakeRefCounted<MessageLoopTaskRunner>(incoming_task_queue_, ::GetCurrentThreadId());
  slot.Set(this);
  CurrentThreadTaskRunner::Slot().Set(task_runner_.get());
}

MessageLoop::~MessageLoop() {
  CHECK(Current() == this) << "A MessageLoop is destroyed on its own thread";
  DCHECK(!run_loop_);

  // Deleting tasks may post new ones (bound state whose destructor posts): delete until the
  // queues stay empty.
  for (int round = 0; round < kMaxDeletionRounds; ++round) {
    DeletePendingTasks();
    ReloadWorkQueue();
    if (!DeletePendingTasks())
      break;
  }

  NotifyDestructionObservers();

  // From now on posting fails; what the observers posted is deleted unrun.
  incoming_task_queue_->WillDestroyCurrentMessageLoop(&work_queue_);
  DeletePendingTasks();

  CurrentThreadTaskRunner::Slot().Set(nullptr);
  CurrentLoopSlot().Set(nullptr);
}

// static
MessageLoop* MessageLoop::Current() {
  return static_cast<MessageLoop*>(CurrentLoopSlot().Get());
}

// static
ThreadLocalSlot& MessageLoop::CurrentLoopSlot() {
  return g_current_loop_slot.Get();
}

// Not inlined: the frame that the record skips must be this function's.
__declspec(noinline) void MessageLoop::AddDestructionObserver(DestructionObserver* observer) {
  DCHECK(Current() == this);
  bool present = false;
  destruction_observers_.ForEach([&](TracedDestructionObserver* traced) {
    present |= traced->observer() == observer;
  });
  if (observer && !present)
    destruction_observers_.AddObserver(new TracedDestructionObserver(observer, 1));
}

void MessageLoop::RemoveDestructionObserver(DestructionObserver* observer) {
  DCHECK(Current() == this);
  TracedDestructionObserver* found = nullptr;
  destruction_observers_.ForEach([&](TracedDestructionObserver* traced) {
    if (traced->observer() == observer)
      found = traced;
  });
  if (!found)
    return;
  // During a notification the list only clears the entry: the record is not read again.
  destruction_observers_.RemoveObserver(found);
  delete found;
}

void MessageLoop::NotifyDestructionObservers() {
  destruction_observers_.ForEach([](TracedDestructionObserver* traced) {
    traced->observer()->WillDestroyCurrentMessageLoop();
  });
  destruction_observers_.ForEach([](TracedDestructionObserver* traced) { delete traced; });
  destruction_observers_.Clear();
}

bool MessageLoop::IsNested() const {
  return run_loop_ && run_loop_->run_depth_ > 1;
}

bool MessageLoop::RegisterIoHandler(HANDLE file_handle, IoHandler* handler) {
  CHECK_EQ(type_, TYPE_IO);
  return static_cast<MessagePumpForIO*>(pump_.get())->RegisterIoHandler(file_handle, handler);
}

bool MessageLoop::WaitForIoCompletion(DWORD timeout_ms, IoHandler* filter) {
  CHECK_EQ(type_, TYPE_IO);
  return static_cast<MessagePumpForIO*>(pump_.get())->WaitForIoCompletion(timeout_ms, filter);
}

void MessageLoop::ScheduleWork() {
  pump_->ScheduleWork();
}

void MessageLoop::RunHandler() {
  pump_->Run(this, run_loop_->dispatcher_);
}

void MessageLoop::QuitNow() {
  pump_->Quit();
}

bool MessageLoop::DoWork() {
  if (!nestable_tasks_allowed_)
    return false;
  for (;;) {
    ReloadWorkQueue();
    if (work_queue_.empty())
      return false;
    // Delayed tasks move to their own queue; the first task due now runs.
    do {
      PendingTask pending_task = std::move(work_queue_.front());
      work_queue_.pop();
      if (pending_task.delayed_run_time.is_null()) {
        RunTask(&pending_task);
        return true;
      }
      AddToDelayedWorkQueue(std::move(pending_task));
    } while (!work_queue_.empty());
  }
}

bool MessageLoop::DoDelayedWork(TimeTicks* next_delayed_work_time) {
  if (!nestable_tasks_allowed_ || delayed_work_queue_.empty()) {
    recent_time_ = *next_delayed_work_time = TimeTicks();
    return false;
  }
  const TimeTicks next_run_time = delayed_work_queue_.top().delayed_run_time;
  if (next_run_time > recent_time_) {
    recent_time_ = TimeTicks::Now();
    if (next_run_time > recent_time_) {
      *next_delayed_work_time = next_run_time;
      return false;
    }
  }
  // The heap does not compare the moved-from top again: pop moves it out of the way first.
  PendingTask pending_task = std::move(const_cast<PendingTask&>(delayed_work_queue_.top()));
  delayed_work_queue_.pop();
  *next_delayed_work_time =
      delayed_work_queue_.empty() ? TimeTicks() : delayed_work_queue_.top().delayed_run_time;
  RunTask(&pending_task);
  return true;
}

bool MessageLoop::DoIdleWork() {
  if (run_loop_ && run_loop_->quit_when_idle_received_)
    pump_->Quit();
  return false;
}

void MessageLoop::RunTask(PendingTask* pending_task) {
  DCHECK(nestable_tasks_allowed_);
  nestable_tasks_allowed_ = false;

  TRACE_EVENT_FLOW_END1(TRACE_DISABLED_BY_DEFAULT("toplevel.flow"), "MessageLoop::PostTask",
                        IncomingTaskQueue::TraceFlowId(this, pending_task->sequence_num),
                        "queue_duration", ThreadData::Now() - pending_task->time_posted);
  {
    TRACE_TASK_EXECUTION("MessageLoop::RunTask", pending_task->posted_from);
    ScopedActivity activity =
        ScopedActivity::ForTaskRun(pending_task->posted_from.program_counter(), *pending_task);
    TaskStopwatch stopwatch;
    stopwatch.Start();
    pending_task->task.Run();
    stopwatch.Stop();
    ThreadData::TallyRunOfTask(*pending_task, stopwatch, pending_task->birth_tally);
  }

  nestable_tasks_allowed_ = true;
}

void MessageLoop::AddToDelayedWorkQueue(PendingTask pending_task) {
  const TimeTicks run_time = pending_task.delayed_run_time;
  const int32_t sequence_num = pending_task.sequence_num;
  delayed_work_queue_.push(std::move(pending_task));
  // A new first delayed task: the pump must wake for it.
  if (delayed_work_queue_.top().sequence_num == sequence_num)
    pump_->ScheduleDelayedWork(run_time);
}

void MessageLoop::ReloadWorkQueue() {
  if (work_queue_.empty())
    incoming_task_queue_->ReloadWorkQueue(&work_queue_);
}

bool MessageLoop::DeletePendingTasks() {
  const bool had_tasks = !work_queue_.empty() || !delayed_work_queue_.empty();
  // Taken out first: the tasks' destructors may post to this loop again.
  TaskQueue work_queue;
  work_queue.swap(work_queue_);
  DelayedTaskQueue delayed_work_queue;
  delayed_work_queue.swap(delayed_work_queue_);
  return had_tasks;
}

}  // namespace base
