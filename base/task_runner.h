#ifndef BASE_TASK_RUNNER_H_
#define BASE_TASK_RUNNER_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/time/time.h"

namespace base {

// Where tasks are posted: a thread, a sequence or a pool. Posting may happen from any
// thread; it fails (returns false, the task destroyed unrun) once the runner can no longer
// run tasks, e.g. when its message loop is gone.
class TaskRunner : public RefCountedThreadSafe<TaskRunner> {
 public:
  TaskRunner(const TaskRunner&) = delete;
  TaskRunner& operator=(const TaskRunner&) = delete;

  // Runs |task| as soon as possible.
  bool PostTask(const Location& from_here, Closure task);

  // Runs |task| once |delay| has passed (a zero or negative delay: as soon as possible).
  virtual bool PostDelayedTask(const Location& from_here, Closure task, TimeDelta delay) = 0;

  // Whether tasks of this runner run on the calling thread.
  virtual bool RunsTasksOnCurrentThread() const = 0;

  // Runs |task| on this runner and then |reply| on the calling thread's task runner
  // (base/threading/current_thread_task_runner.h), which must exist. |task| is destroyed
  // on this runner's thread after it ran; |reply|, and a task that did not run, on the
  // calling thread. When the calling thread's loop is gone before the reply could get
  // there, the reply is dropped unrun and its bound state left alone (leaked), never
  // destroyed on another thread. False when |task| could not be posted.
  bool PostTaskAndReply(const Location& from_here, Closure task, Closure reply);

 protected:
  friend class RefCountedThreadSafe<TaskRunner>;

  TaskRunner() = default;
  virtual ~TaskRunner() = default;
};

}  // namespace base

#endif  // BASE_TASK_RUNNER_H_
