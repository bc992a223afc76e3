#include "base/threading/worker_pool.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "base/logging.h"
#include "base/metrics/activity_tracker.h"
#include "base/metrics/task_profiler.h"
#include "base/task_runner.h"
#include "base/threading/thread_local_slot.h"
#include "base/trace_event/trace_event.h"

namespace base {

namespace {

// Non-null on a system pool thread while it runs one of our tasks.
LazyThreadLocalSlot g_running_pool_task;

DWORD CALLBACK RunWorkItem(void* parameter) {
  std::unique_ptr<PendingTask> task(static_cast<PendingTask*>(parameter));
  ThreadLocalSlot& slot = g_running_pool_task.Get();
  slot.Set(task.get());
  internal::RunPoolTask("WorkerPool::RunTask", task.get());
  slot.Set(nullptr);
  return 0;
}

// The pool as a task runner, so that posting with a reply shares TaskRunner's relay.
class WorkerPoolTaskRunner : public TaskRunner {
 public:
  explicit WorkerPoolTaskRunner(bool tasks_are_slow) : tasks_are_slow_(tasks_are_slow) {}

  bool PostDelayedTask(const Location& from_here, Closure task, TimeDelta delay) override {
    DCHECK(delay <= TimeDelta()) << "the worker pool runs no delayed tasks";
    return WorkerPool::PostTask(from_here, std::move(task), tasks_are_slow_);
  }

  bool RunsTasksOnCurrentThread() const override {
    return WorkerPool::RunsTasksOnCurrentThread();
  }

 private:
  ~WorkerPoolTaskRunner() override = default;

  const bool tasks_are_slow_;
};

TaskRunner* GetWorkerPoolTaskRunner(bool tasks_are_slow) {
  // Never released: posting may happen until the process ends.
  static TaskRunner* const slow_runner = [] {
    TaskRunner* runner = new WorkerPoolTaskRunner(true);
    runner->AddRef();
    return runner;
  }();
  static TaskRunner* const quick_runner = [] {
    TaskRunner* runner = new WorkerPoolTaskRunner(false);
    runner->AddRef();
    return runner;
  }();
  return tasks_are_slow ? slow_runner : quick_runner;
}

}  // namespace

// static
bool WorkerPool::PostTask(const Location& from_here, Closure task, bool task_is_slow) {
  DCHECK(task) << "posting a null task from " << from_here.function_name();
  TRACE_EVENT2("base", "WorkerPool::PostTask", "src_func", from_here.function_name(), "slow",
               task_is_slow);
  std::unique_ptr<PendingTask> pending_task(
      new PendingTask(internal::MakePoolTask(from_here, std::move(task))));
  const ULONG flags = task_is_slow ? WT_EXECUTELONGFUNCTION : WT_EXECUTEDEFAULT;
  if (!::QueueUserWorkItem(&RunWorkItem, pending_task.get(), flags)) {
    PLOG(ERROR) << "QueueUserWorkItem failed for a task from " << from_here.function_name();
    return false;
  }
  // The work item owns it now.
  pending_task.release();
  return true;
}

// static
bool WorkerPool::PostTaskAndReply(const Location& from_here,
                                  Closure task,
                                  Closure reply,
                                  bool task_is_slow) {
  return GetWorkerPoolTaskRunner(task_is_slow)
      ->PostTaskAndReply(from_here, std::move(task), std::move(reply));
}

// static
bool WorkerPool::RunsTasksOnCurrentThread() {
  return g_running_pool_task.Get().Get() != nullptr;
}

namespace internal {

PendingTask MakePoolTask(const Location& from_here, Closure task) {
  PendingTask pending_task(from_here, std::move(task));
  if (ThreadData* thread_data = ThreadData::Get())
    pending_task.birth_tally = thread_data->TallyBirth(from_here);
  pending_task.time_posted = ThreadData::Now();
  return pending_task;
}

void RunPoolTask(const char* trace_name, PendingTask* task) {
  {
    TRACE_TASK_EXECUTION(trace_name, task->posted_from);
    ScopedActivity activity = ScopedActivity::ForTaskRun(task->posted_from.program_counter(),
                                                         *task);
    TaskStopwatch stopwatch;
    stopwatch.Start();
    task->task.Run();
    stopwatch.Stop();
    ThreadData::TallyDeath(task->birth_tally,
                           static_cast<int32_t>(stopwatch.start_time() - task->time_posted),
                           stopwatch);
  }
  task->task.Reset();
}

}  // namespace internal

}  // namespace base
