#ifndef BASE_THREADING_WORKER_POOL_H_
#define BASE_THREADING_WORKER_POOL_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/pending_task.h"

namespace base {

// The system's thread pool (QueueUserWorkItem). Tasks run on whatever pool thread is free,
// in no particular order, with no message loop on their thread; use it for one-off
// blocking work. Mark a task slow when it may block for long (file system, COM, network):
// the system then adds threads instead of letting it hold up quick ones.
class WorkerPool {
 public:
  WorkerPool() = delete;

  // Runs |task| on a pool thread, which also releases its bound state. False (the task
  // destroyed unrun on the calling thread) when the system refuses the work item.
  static bool PostTask(const Location& from_here, Closure task, bool task_is_slow);

  // Runs |task| on a pool thread, then |reply| on the calling thread's task runner
  // (base/threading/current_thread_task_runner.h). The task's bound state is released on
  // the pool thread after it ran, the reply's on the calling thread. False, with nothing
  // run, when the calling thread has no task runner or the task cannot be posted. When the
  // calling thread's loop is gone by the time the task ends, the reply is dropped unrun and
  // its bound state left alone (leaked) rather than released on the pool thread.
  static bool PostTaskAndReply(const Location& from_here,
                               Closure task,
                               Closure reply,
                               bool task_is_slow);

  // Whether the calling thread is running a task of this pool.
  static bool RunsTasksOnCurrentThread();
};

namespace internal {

// What the pools of this library share: a pool task carries the task profiler's birth
// record and posting time like a message-loop task.
PendingTask MakePoolTask(const Location& from_here, Closure task);

// Runs |task| under the trace, activity and task-profiler hooks, then releases its bound
// state on this thread. |trace_name| must be a string literal.
void RunPoolTask(const char* trace_name, PendingTask* task);

}  // namespace internal

}  // namespace base

#endif  // BASE_THREADING_WORKER_POOL_H_
