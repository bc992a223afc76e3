#include "base/threading/sequenced_worker_pool.h"

#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/pending_task.h"
#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "base/threading/os_thread.h"
#include "base/threading/thread_local_slot.h"
#include "base/threading/thread_name_registry.h"
#include "base/threading/worker_pool.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

// Sequence ids are unique in the process, so that a token of one pool never matches a
// sequence of another; 0 is "no sequence".
std::atomic<int> g_last_sequence_id{0};

int NewSequenceId() {
  return g_last_sequence_id.fetch_add(1, std::memory_order_relaxed) + 1;
}

// The worker record (WorkerRecord*) of a pool thread, null on other threads.
LazyThreadLocalSlot g_current_worker;

// A wait for the next delayed task, in whole milliseconds rounded up.
uint32_t WaitMilliseconds(TimeDelta wait) {
  const int64_t milliseconds = (wait.InMicroseconds() + 999) / 1000;
  if (milliseconds < 1)
    return 1;
  return milliseconds >= INFINITE ? INFINITE - 1 : static_cast<uint32_t>(milliseconds);
}

// A runner for one sequence of a pool.
class PoolSequencedTaskRunner : public SequencedTaskRunner {
 public:
  PoolSequencedTaskRunner(scoped_refptr<SequencedWorkerPool> pool,
                          SequencedWorkerPool::SequenceToken token,
                          SequencedWorkerPool::WorkerShutdown shutdown_behavior)
      : pool_(std::move(pool)), token_(token), shutdown_behavior_(shutdown_behavior) {}

  bool PostDelayedTask(const Location& from_here, Closure task, TimeDelta delay) override {
    if (delay > TimeDelta())
      return pool_->PostDelayedSequencedWorkerTask(token_, from_here, std::move(task), delay);
    return pool_->PostSequencedWorkerTaskWithShutdownBehavior(token_, from_here,
                                                              std::move(task),
                                                              shutdown_behavior_);
  }

  bool RunsTasksOnCurrentThread() const override {
    return pool_->IsRunningSequenceOnCurrentThread(token_);
  }

 private:
  ~PoolSequencedTaskRunner() override = default;

  const scoped_refptr<SequencedWorkerPool> pool_;
  const SequencedWorkerPool::SequenceToken token_;
  const SequencedWorkerPool::WorkerShutdown shutdown_behavior_;
};

}  // namespace

// The pool's state, shared by the pool object and its threads: a thread keeps it alive
// until it ends, so that the pool may go away while a thread still finishes a
// CONTINUE_ON_SHUTDOWN task (or the task that dropped the pool's last reference).
class SequencedWorkerPool::Inner : public RefCountedThreadSafe<Inner> {
 public:
  Inner(size_t max_threads, const std::string& thread_name_prefix)
      : max_threads_(max_threads ? max_threads : 1),
        thread_name_prefix_(thread_name_prefix),
        has_work_cv_(&lock_),
        can_shutdown_cv_(&lock_) {}
  Inner(const Inner&) = delete;
  Inner& operator=(const Inner&) = delete;

  int GetNamedSequenceId(const std::string& name) {
    AutoLock lock(lock_);
    int& id = named_sequences_[name];
    if (!id)
      id = NewSequenceId();
    return id;
  }

  bool PostTask(int sequence_id,
                WorkerShutdown shutdown_behavior,
                const Location& from_here,
                Closure task,
                TimeDelta delay) {
    DCHECK(task) << "posting a null task from " << from_here.function_name();
    if (delay < TimeDelta())
      delay = TimeDelta();
    // Shut-down does not wait for a delay to pass.
    if (delay > TimeDelta() && shutdown_behavior == BLOCK_SHUTDOWN)
      shutdown_behavior = SKIP_ON_SHUTDOWN;
    PoolTask pool_task(internal::MakePoolTask(from_here, std::move(task)), sequence_id,
                       shutdown_behavior);
    const TimeTicks time_to_run = TimeTicks::Now() + delay;
    {
      AutoLock lock(lock_);
      if (!shutdown_called_) {
        if (shutdown_behavior == BLOCK_SHUTDOWN)
          ++blocking_task_count_;
        pending_.emplace(time_to_run, std::move(pool_task));
        WakeOrStartThreadsLocked();
        return true;
      }
    }
    // A refused task is destroyed here, outside the lock.
    VLOG(1) << "Task from " << from_here.function_name() << " refused: the "
            << thread_name_prefix_ << " pool is shut down";
    return false;
  }

  bool RunsTasksOnCurrentThread() const { return GetCurrentWorker() != nullptr; }

  bool IsRunningSequenceOnCurrentThread(int sequence_id) const {
    // Only the worker's own thread changes what it runs: no lock needed.
    const WorkerRecord* worker = GetCurrentWorker();
    return sequence_id && worker && worker->running_task &&
           worker->running_sequence == sequence_id;
  }

  void Shutdown() {
    std::vector<PoolTask> dropped;
    std::vector<win::ScopedHandle> threads_to_join;
    // Only the destructor may get here on a thread of the pool (a task dropped the last
    // reference): that thread is neither waited for nor joined.
    WorkerRecord* const current_worker = GetCurrentWorker();
    {
      AutoLock lock(lock_);
      if (shutdown_called_)
        return;
      shutdown_called_ = true;

      for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->second.shutdown_behavior == BLOCK_SHUTDOWN) {
          ++it;
        } else {
          dropped.push_back(std::move(it->second));
          it = pending_.erase(it);
        }
      }

      // A blocking task that runs the shut-down (through the pool's last reference) does
      // not wait for itself.
      const bool runs_blocking_task = current_worker && current_worker->running_task &&
                                      current_worker->running_behavior == BLOCK_SHUTDOWN;
      const size_t own_blocking_task = runs_blocking_task ? 1 : 0;
      const TimeTicks wait_start = TimeTicks::Now();
      WakeOrStartThreadsLocked();
      while (blocking_task_count_ > own_blocking_task) {
        if (workers_.empty() && !pending_.empty()) {
          // No thread could be started: the blocking tasks must still run.
          RunTaskOnShutdownThreadLocked();
          continue;
        }
        can_shutdown_cv_.Wait();
      }
      static HistogramBase* const delay_histogram =
          Histogram::FactoryTimeGet("SequencedWorkerPool.ShutdownDelayTime",
                                    TimeDelta::FromMilliseconds(1), TimeDelta::FromSeconds(10));
      delay_histogram->Add(
          static_cast<HistogramBase::Sample>((TimeTicks::Now() - wait_start).InMilliseconds()));

      terminating_ = true;
      has_work_cv_.Broadcast();
      for (const std::unique_ptr<WorkerRecord>& worker : workers_) {
        // A thread busy with a CONTINUE_ON_SHUTDOWN task, or the calling thread, ends on
        // its own; its handle is closed with the records.
        if (worker.get() == current_worker ||
            (worker->running_task && worker->running_behavior == CONTINUE_ON_SHUTDOWN)) {
          continue;
        }
        if (worker->handle.IsValid())
          threads_to_join.push_back(std::move(worker->handle));
      }
    }
    // Their bound state may do anything, posting to this pool included (which fails now).
    dropped.clear();
    for (win::ScopedHandle& thread : threads_to_join)
      OsThread::Join(&thread);
  }

  bool IsShutdownInProgress() const {
    AutoLock lock(lock_);
    return shutdown_called_;
  }

  size_t GetThreadCount() const {
    AutoLock lock(lock_);
    return workers_.size();
  }

 private:
  friend class RefCountedThreadSafe<Inner>;

  struct PoolTask {
    PoolTask(PendingTask pending_task, int sequence_id, WorkerShutdown shutdown_behavior)
        : pending_task(std::move(pending_task)),
          sequence_id(sequence_id),
          shutdown_behavior(shutdown_behavior) {}

    PendingTask pending_task;
    int sequence_id;
    WorkerShutdown shutdown_behavior;
  };

  // One thread of the pool. The thread's fields change under the lock; the thread reads
  // what it runs without it.
  struct WorkerRecord {
    const Inner* owner = nullptr;
    std::string name;
    win::ScopedHandle handle;
    bool running_task = false;
    int running_sequence = 0;
    WorkerShutdown running_behavior = SKIP_ON_SHUTDOWN;
  };

  // What a thread runs; deletes itself when the thread is done.
  class Worker : public OsThread::Delegate {
   public:
    Worker(scoped_refptr<Inner> inner, WorkerRecord* record)
        : inner_(std::move(inner)), record_(record) {}

    void ThreadMain() override {
      OsThread::SetName(record_->name);
      ThreadLocalSlot& slot = g_current_worker.Get();
      slot.Set(record_);
      inner_->ThreadLoop(record_);
      slot.Set(nullptr);
      ThreadNameRegistry::GetInstance()->RemoveName(::GetCurrentThreadId());
      // The pool's state may go with this last reference: nothing of it is used after.
      scoped_refptr<Inner> inner = std::move(inner_);
      delete this;
    }

   private:
    scoped_refptr<Inner> inner_;
    WorkerRecord* const record_;
  };

  using PendingTasks = std::multimap<TimeTicks, PoolTask>;

  enum class WorkStatus {
    FOUND,    // A task can run now.
    WAIT,     // The first runnable task is delayed.
    NO_WORK,  // Nothing runnable (pending tasks, if any, wait for their sequence).
  };

  ~Inner() = default;

  static WorkerRecord* GetCurrentWorkerOfAnyPool() {
    return static_cast<WorkerRecord*>(g_current_worker.Get().Get());
  }

  WorkerRecord* GetCurrentWorker() const {
    WorkerRecord* worker = GetCurrentWorkerOfAnyPool();
    return worker && worker->owner == this ? worker : nullptr;
  }

  // The first task, in order of due time and then posting, whose sequence is not running.
  WorkStatus FindWork(TimeTicks now, PendingTasks::iterator* found, TimeDelta* wait) {
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if (it->second.sequence_id && running_sequences_.count(it->second.sequence_id))
        continue;
      if (it->first > now) {
        *wait = it->first - now;
        return WorkStatus::WAIT;
      }
      *found = it;
      return WorkStatus::FOUND;
    }
    return WorkStatus::NO_WORK;
  }

  // The number of tasks that could start now: the first due task of each idle sequence,
  // and every due unsequenced task.
  size_t CountRunnableTasksLocked(TimeTicks now) const {
    size_t count = 0;
    std::set<int> counted_sequences;
    for (const auto& entry : pending_) {
      if (entry.first > now)
        break;
      const int sequence_id = entry.second.sequence_id;
      if (sequence_id) {
        if (running_sequences_.count(sequence_id) || !counted_sequences.insert(sequence_id).second)
          continue;
      }
      ++count;
    }
    return count;
  }

  // Wakes the idle threads when there is work (and so that they recompute their wait for
  // delayed tasks), and starts threads, up to the maximum, for the runnable tasks that the
  // idle and starting threads cannot take.
  void WakeOrStartThreadsLocked() {
    if (pending_.empty())
      return;
    if (waiting_thread_count_)
      has_work_cv_.Broadcast();
    if (terminating_ || (shutdown_called_ && !blocking_task_count_))
      return;
    const size_t runnable = CountRunnableTasksLocked(TimeTicks::Now());
    size_t available = waiting_thread_count_ + starting_thread_count_;
    while (available < runnable && workers_.size() < max_threads_) {
      if (!StartThreadLocked())
        return;
      ++available;
    }
  }

  bool StartThreadLocked() {
    std::unique_ptr<WorkerRecord> record(new WorkerRecord);
    record->owner = this;
    record->name = thread_name_prefix_ + std::to_string(workers_.size() + 1);
    Worker* worker = new Worker(scoped_refptr<Inner>(this), record.get());
    if (!OsThread::Create(0, worker, &record->handle)) {
      LOG(ERROR) << "Could not start the pool thread " << record->name;
      delete worker;
      return false;
    }
    ++starting_thread_count_;
    workers_.push_back(std::move(record));
    return true;
  }

  void ThreadLoop(WorkerRecord* worker) {
    AutoLock lock(lock_);
    --starting_thread_count_;
    for (;;) {
      PendingTasks::iterator found;
      TimeDelta wait;
      const WorkStatus status = FindWork(TimeTicks::Now(), &found, &wait);
      if (status == WorkStatus::FOUND) {
        PoolTask task = std::move(found->second);
        pending_.erase(found);
        if (task.sequence_id)
          running_sequences_.insert(task.sequence_id);
        worker->running_task = true;
        worker->running_sequence = task.sequence_id;
        worker->running_behavior = task.shutdown_behavior;
        // More work may be runnable than the other threads can take.
        WakeOrStartThreadsLocked();
        {
          AutoUnlock unlock(lock_);
          internal::RunPoolTask("SequencedWorkerPool::RunTask", &task.pending_task);
        }
        worker->running_task = false;
        worker->running_sequence = 0;
        // This thread looks for work next: the sequence's next task needs no other.
        if (task.sequence_id)
          running_sequences_.erase(task.sequence_id);
        if (task.shutdown_behavior == BLOCK_SHUTDOWN) {
          --blocking_task_count_;
          can_shutdown_cv_.Broadcast();
        }
        continue;
      }
      if (terminating_)
        return;
      ++waiting_thread_count_;
      if (status == WorkStatus::WAIT)
        has_work_cv_.TimedWait(WaitMilliseconds(wait));
      else
        has_work_cv_.Wait();
      --waiting_thread_count_;
    }
  }

  // Runs the next pending task on the thread that shuts the pool down.
  void RunTaskOnShutdownThreadLocked() {
    PoolTask task = std::move(pending_.begin()->second);
    pending_.erase(pending_.begin());
    {
      AutoUnlock unlock(lock_);
      internal::RunPoolTask("SequencedWorkerPool::RunTask", &task.pending_task);
    }
    if (task.shutdown_behavior == BLOCK_SHUTDOWN)
      --blocking_task_count_;
  }

  const size_t max_threads_;
  const std::string thread_name_prefix_;

  mutable Lock lock_;
  // Idle threads wait on it for work (or for their next delayed task).
  ConditionVariable has_work_cv_;
  // Shutdown waits on it for the blocking tasks.
  ConditionVariable can_shutdown_cv_;

  // All fields below under lock_.
  PendingTasks pending_;
  std::set<int> running_sequences_;
  std::map<std::string, int> named_sequences_;
  std::vector<std::unique_ptr<WorkerRecord>> workers_;
  // Threads waiting for work, and threads started that have not yet looked for it.
  size_t waiting_thread_count_ = 0;
  size_t starting_thread_count_ = 0;
  // BLOCK_SHUTDOWN tasks pending or running.
  size_t blocking_task_count_ = 0;
  bool shutdown_called_ = false;
  // The blocking tasks are done: threads end once they find no work.
  bool terminating_ = false;
};

SequencedWorkerPool::SequencedWorkerPool(size_t max_threads,
                                         const std::string& thread_name_prefix)
    : inner_(MakeRefCounted<Inner>(max_threads, thread_name_prefix)) {}

SequencedWorkerPool::~SequencedWorkerPool() {
  inner_->Shutdown();
}

// static
SequencedWorkerPool::SequenceToken SequencedWorkerPool::GetSequenceToken() {
  return SequenceToken(NewSequenceId());
}

SequencedWorkerPool::SequenceToken SequencedWorkerPool::GetNamedSequenceToken(
    const std::string& name) {
  return SequenceToken(inner_->GetNamedSequenceId(name));
}

scoped_refptr<SequencedTaskRunner> SequencedWorkerPool::GetSequencedTaskRunner(
    SequenceToken token) {
  return GetSequencedTaskRunnerWithShutdownBehavior(token, BLOCK_SHUTDOWN);
}

scoped_refptr<SequencedTaskRunner> SequencedWorkerPool::GetSequencedTaskRunnerWithShutdownBehavior(
    SequenceToken token,
    WorkerShutdown shutdown_behavior) {
  DCHECK(token.IsValid()) << "a sequenced runner needs a sequence";
  return MakeRefCounted<PoolSequencedTaskRunner>(scoped_refptr<SequencedWorkerPool>(this), token,
                                                 shutdown_behavior);
}

bool SequencedWorkerPool::PostWorkerTask(const Location& from_here, Closure task) {
  return PostTaskToPool(0, BLOCK_SHUTDOWN, from_here, std::move(task), TimeDelta());
}

bool SequencedWorkerPool::PostWorkerTaskWithShutdownBehavior(const Location& from_here,
                                                             Closure task,
                                                             WorkerShutdown shutdown_behavior) {
  return PostTaskToPool(0, shutdown_behavior, from_here, std::move(task), TimeDelta());
}

bool SequencedWorkerPool::PostSequencedWorkerTask(SequenceToken token,
                                                  const Location& from_here,
                                                  Closure task) {
  return PostTaskToPool(token.id_, BLOCK_SHUTDOWN, from_here, std::move(task), TimeDelta());
}

bool SequencedWorkerPool::PostSequencedWorkerTaskWithShutdownBehavior(
    SequenceToken token,
    const Location& from_here,
    Closure task,
    WorkerShutdown shutdown_behavior) {
  return PostTaskToPool(token.id_, shutdown_behavior, from_here, std::move(task), TimeDelta());
}

bool SequencedWorkerPool::PostDelayedSequencedWorkerTask(SequenceToken token,
                                                         const Location& from_here,
                                                         Closure task,
                                                         TimeDelta delay) {
  return PostTaskToPool(token.id_, SKIP_ON_SHUTDOWN, from_here, std::move(task), delay);
}

bool SequencedWorkerPool::PostDelayedTask(const Location& from_here,
                                          Closure task,
                                          TimeDelta delay) {
  return PostTaskToPool(0, BLOCK_SHUTDOWN, from_here, std::move(task), delay);
}

bool SequencedWorkerPool::RunsTasksOnCurrentThread() const {
  return inner_->RunsTasksOnCurrentThread();
}

bool SequencedWorkerPool::IsRunningSequenceOnCurrentThread(SequenceToken token) const {
  return inner_->IsRunningSequenceOnCurrentThread(token.id_);
}

void SequencedWorkerPool::Shutdown() {
  DCHECK(!RunsTasksOnCurrentThread()) << "a pool shut down by its own task";
  inner_->Shutdown();
}

bool SequencedWorkerPool::IsShutdownInProgress() const {
  return inner_->IsShutdownInProgress();
}

size_t SequencedWorkerPool::GetThreadCountForTesting() const {
  return inner_->GetThreadCount();
}

bool SequencedWorkerPool::PostTaskToPool(int sequence_id,
                                         WorkerShutdown shutdown_behavior,
                                         const Location& from_here,
                                         Closure task,
                                         TimeDelta delay) {
  return inner_->PostTask(sequence_id, shutdown_behavior, from_here, std::move(task), delay);
}

}  // namespace base
