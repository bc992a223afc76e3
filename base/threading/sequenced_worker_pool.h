#ifndef BASE_THREADING_SEQUENCED_WORKER_POOL_H_
#define BASE_THREADING_SEQUENCED_WORKER_POOL_H_

#include <stddef.h>

#include <string>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"
#include "base/task_runner.h"
#include "base/time/time.h"

namespace base {

// A pool of up to a fixed number of named threads, created as work arrives, that runs
// tasks in sequences: the tasks posted with one sequence token run one at a time in the
// order posted (delayed ones when due), possibly on different threads; tasks of different
// sequences, and unsequenced tasks, run in parallel.
//
//   scoped_refptr<SequencedWorkerPool> pool =
//       MakeRefCounted<SequencedWorkerPool>(2, "PrefsTaskPool");
//   scoped_refptr<SequencedTaskRunner> runner =
//       pool->GetSequencedTaskRunner(pool->GetNamedSequenceToken(name));
//   runner->PostTask(FROM_HERE, task);
//   ...
//   pool->Shutdown();
//
// Every task says what happens to it when the pool shuts down (WorkerShutdown). Shutdown
// runs the blocking tasks, drops the others that have not started, and joins the threads;
// posting fails from then on. Posting works from any thread.
class SequencedWorkerPool : public TaskRunner {
 public:
  enum WorkerShutdown {
    // Dropped when it has not started by shut-down; a task already running is not waited
    // for: its thread is left to finish it on its own. For work that may be abandoned
    // midway.
    CONTINUE_ON_SHUTDOWN,
    // Dropped when it has not started by shut-down; a task already running is waited for.
    SKIP_ON_SHUTDOWN,
    // Always runs: shut-down waits for it. Delayed tasks cannot block shut-down: they are
    // posted as SKIP_ON_SHUTDOWN.
    BLOCK_SHUTDOWN,
  };

  // Names a sequence. The default token is invalid and stands for "no sequence".
  class SequenceToken {
   public:
    SequenceToken() = default;

    bool Equals(const SequenceToken& other) const { return id_ == other.id_; }
    bool IsValid() const { return id_ != 0; }

   private:
    friend class SequencedWorkerPool;

    explicit SequenceToken(int id) : id_(id) {}

    int id_ = 0;
  };

  // |max_threads| (at least 1) threads at most, named |thread_name_prefix| followed by
  // their number from 1 ("PrefsTaskPool1").
  SequencedWorkerPool(size_t max_threads, const std::string& thread_name_prefix);

  // A new sequence, unique in the process.
  static SequenceToken GetSequenceToken();
  // The sequence of |name| in this pool: the same name always gives the same sequence.
  SequenceToken GetNamedSequenceToken(const std::string& name);

  // A runner for one sequence; its tasks block shut-down, or behave as |shutdown_behavior|
  // says. The runner keeps the pool alive.
  scoped_refptr<SequencedTaskRunner> GetSequencedTaskRunner(SequenceToken token);
  scoped_refptr<SequencedTaskRunner> GetSequencedTaskRunnerWithShutdownBehavior(
      SequenceToken token,
      WorkerShutdown shutdown_behavior);

  // Unsequenced tasks; PostWorkerTask's block shut-down.
  bool PostWorkerTask(const Location& from_here, Closure task);
  bool PostWorkerTaskWithShutdownBehavior(const Location& from_here,
                                          Closure task,
                                          WorkerShutdown shutdown_behavior);

  // Sequenced tasks; PostSequencedWorkerTask's block shut-down.
  bool PostSequencedWorkerTask(SequenceToken token, const Location& from_here, Closure task);
  bool PostSequencedWorkerTaskWithShutdownBehavior(SequenceToken token,
                                                   const Location& from_here,
                                                   Closure task,
                                                   WorkerShutdown shutdown_behavior);
  bool PostDelayedSequencedWorkerTask(SequenceToken token,
                                      const Location& from_here,
                                      Closure task,
                                      TimeDelta delay);

  // TaskRunner: unsequenced tasks that block shut-down (delayed ones skip it).
  bool PostDelayedTask(const Location& from_here, Closure task, TimeDelta delay) override;
  // Whether the calling thread is one of this pool's threads.
  bool RunsTasksOnCurrentThread() const override;

  // Whether the calling thread is running a task of |token|'s sequence of this pool.
  bool IsRunningSequenceOnCurrentThread(SequenceToken token) const;

  // Refuses new tasks, drops the pending tasks that do not block shut-down, waits for the
  // blocking ones (running those still pending) and for the running tasks that are not
  // CONTINUE_ON_SHUTDOWN, and joins the threads. Later calls do nothing. Not to be called
  // from a task of this pool.
  void Shutdown();
  bool IsShutdownInProgress() const;

  // The number of threads started so far.
  size_t GetThreadCountForTesting() const;

 private:
  class Inner;

  // Shuts the pool down when that was not done.
  ~SequencedWorkerPool() override;

  bool PostTaskToPool(int sequence_id,
                      WorkerShutdown shutdown_behavior,
                      const Location& from_here,
                      Closure task,
                      TimeDelta delay);

  const scoped_refptr<Inner> inner_;
};

}  // namespace base

#endif  // BASE_THREADING_SEQUENCED_WORKER_POOL_H_
