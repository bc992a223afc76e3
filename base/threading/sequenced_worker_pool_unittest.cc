#include "base/threading/sequenced_worker_pool.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/os_thread.h"
#include "base/threading/thread.h"
#include "base/threading/thread_name_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr TimeDelta kTimeout = TimeDelta::FromSeconds(10);

// Waits until every task posted to |runner| so far has run.
void FlushRunner(SequencedTaskRunner* runner) {
  WaitEvent done(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  ASSERT_TRUE(runner->PostTask(FROM_HERE, BindLambda([&] { done.Signal(); })));
  ASSERT_TRUE(done.TimedWait(kTimeout));
}

// Counts the tasks running at once.
class ConcurrencyMeter {
 public:
  void Enter() {
    AutoLock lock(lock_);
    ++running_;
    highest_ = std::max(highest_, running_);
  }
  void Leave() {
    AutoLock lock(lock_);
    --running_;
  }
  int highest() {
    AutoLock lock(lock_);
    return highest_;
  }

 private:
  Lock lock_;
  int running_ = 0;
  int highest_ = 0;
};

TEST(SequencedWorkerPoolTest, TokensAndRunnersOfSequences) {
  scoped_refptr<SequencedWorkerPool> pool = MakeRefCounted<SequencedWorkerPool>(2, "TokenPool");
  const SequencedWorkerPool::SequenceToken first = pool->GetSequenceToken();
  const SequencedWorkerPool::SequenceToken second = pool->GetSequenceToken();
  EXPECT_TRUE(first.IsValid());
  EXPECT_FALSE(first.Equals(second));
  EXPECT_FALSE(SequencedWorkerPool::SequenceToken().IsValid());
  const SequencedWorkerPool::SequenceToken named = pool->GetNamedSequenceToken("file");
  EXPECT_TRUE(named.Equals(pool->GetNamedSequenceToken("file")));
  EXPECT_FALSE(named.Equals(pool->GetNamedSequenceToken("other file")));
  EXPECT_FALSE(named.Equals(first));

  scoped_refptr<SequencedTaskRunner> runner = pool->GetSequencedTaskRunner(first);
  scoped_refptr<SequencedTaskRunner> other_runner = pool->GetSequencedTaskRunner(second);
  EXPECT_FALSE(runner->RunsTasksOnCurrentThread());
  EXPECT_FALSE(pool->RunsTasksOnCurrentThread());
  bool on_own_sequence = false, on_other_sequence = true, on_pool = false;
  ASSERT_TRUE(runner->PostTask(FROM_HERE, BindLambda([&] {
    on_own_sequence = runner->RunsTasksOnCurrentThread();
    on_other_sequence = other_runner->RunsTasksOnCurrentThread();
    on_pool = pool->RunsTasksOnCurrentThread();
  })));
  FlushRunner(runner.get());
  EXPECT_TRUE(on_own_sequence);
  EXPECT_FALSE(on_other_sequence);
  EXPECT_TRUE(on_pool);
  pool->Shutdown();
}

TEST(SequencedWorkerPoolTest, TasksOfOneSequenceRunOneAtATimeInOrder) {
  scoped_refptr<SequencedWorkerPool> pool = MakeRefCounted<SequencedWorkerPool>(3, "OrderPool");
  scoped_refptr<SequencedTaskRunner> runner =
      pool->GetSequencedTaskRunner(pool->GetSequenceToken());
  ConcurrencyMeter meter;
  std::vector<int> order;  // Only the sequence's tasks touch it.
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(runner->PostTask(FROM_HERE, BindLambda([&, i] {
      meter.Enter();
      if (i % 8 == 0)
        ::Sleep(2);
      order.push_back(i);
      meter.Leave();
    })));
    // Unsequenced work in between keeps the other threads busy.
    pool->PostWorkerTask(FROM_HERE, BindLambda([] { ::Sleep(1); }));
  }
  // A delayed task of the sequence runs after the immediate ones due before it.
  ASSERT_TRUE(runner->PostDelayedTask(FROM_HERE, BindLambda([&] { order.push_back(100); }),
                                      TimeDelta::FromMilliseconds(30)));
  ASSERT_TRUE(runner->PostTask(FROM_HERE, BindLambda([&] { order.push_back(40); })));
  const TimeTicks start = TimeTicks::Now();
  WaitEvent delayed_done(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  ASSERT_TRUE(runner->PostDelayedTask(FROM_HERE, BindLambda([&] { delayed_done.Signal(); }),
                                      TimeDelta::FromMilliseconds(40)));
  ASSERT_TRUE(delayed_done.TimedWait(kTimeout));
  EXPECT_GE((TimeTicks::Now() - start).InMilliseconds(), 38);
  pool->Shutdown();

  ASSERT_EQ(42u, order.size());
  for (int i = 0; i <= 40; ++i)
    EXPECT_EQ(i, order[i]);
  EXPECT_EQ(100, order[41]);
  EXPECT_EQ(1, meter.highest());
  EXPECT_LE(pool->GetThreadCountForTesting(), 3u);
}

TEST(SequencedWorkerPoolTest, SequencesRunInParallelOnNamedThreadsUpToTheMaximum) {
  scoped_refptr<SequencedWorkerPool> pool = MakeRefCounted<SequencedWorkerPool>(2, "ParallelPool");
  EXPECT_EQ(0u, pool->GetThreadCountForTesting());  // Threads come with the work.

  // Two sequences meet: possible only when they run at the same time.
  std::atomic<int> arrived{0};
  std::atomic<int> met{0};
  for (int i = 0; i < 2; ++i) {
    pool->GetSequencedTaskRunner(pool->GetSequenceToken())
        ->PostTask(FROM_HERE, BindLambda([&] {
          ++arrived;
          const TimeTicks end = TimeTicks::Now() + kTimeout;
          while (arrived < 2 && TimeTicks::Now() < end)
            ::Sleep(1);
          if (arrived == 2)
            ++met;
        }));
  }

  // Six sequences at once never get more than two threads.
  ConcurrencyMeter meter;
  Lock names_lock;
  std::set<std::string> names;
  for (int i = 0; i < 6; ++i) {
    pool->GetSequencedTaskRunner(pool->GetSequenceToken())
        ->PostTask(FROM_HERE, BindLambda([&] {
          meter.Enter();
          ::Sleep(15);
          {
            AutoLock lock(names_lock);
            names.insert(ThreadNameRegistry::GetInstance()->GetName(::GetCurrentThreadId()));
          }
          meter.Leave();
        }));
  }
  pool->Shutdown();

  EXPECT_EQ(2, met.load());
  EXPECT_EQ(2, meter.highest());
  EXPECT_EQ(2u, pool->GetThreadCountForTesting());
  EXPECT_EQ((std::set<std::string>{"ParallelPool1", "ParallelPool2"}), names);
}

TEST(SequencedWorkerPoolTest, ShutdownRunsBlockingTasksAndDropsTheOthers) {
  scoped_refptr<SequencedWorkerPool> pool = MakeRefCounted<SequencedWorkerPool>(1, "ShutdownPool");
  const SequencedWorkerPool::SequenceToken token = pool->GetSequenceToken();
  WaitEvent started(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  WaitEvent release(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  std::vector<std::string> ran;  // Only the sequence's tasks touch it.
  // A running SKIP_ON_SHUTDOWN task is waited for; it holds the only thread meanwhile.
  ASSERT_TRUE(pool->PostSequencedWorkerTaskWithShutdownBehavior(
      token, FROM_HERE, BindLambda([&] {
        started.Signal();
        release.Wait();
        ran.push_back("running skip");
      }),
      SequencedWorkerPool::SKIP_ON_SHUTDOWN));
  ASSERT_TRUE(pool->PostSequencedWorkerTaskWithShutdownBehavior(
      token, FROM_HERE, BindLambda([&] { ran.push_back("skip"); }),
      SequencedWorkerPool::SKIP_ON_SHUTDOWN));
  ASSERT_TRUE(pool->PostSequencedWorkerTask(token, FROM_HERE,
                                            BindLambda([&] { ran.push_back("block"); })));
  ASSERT_TRUE(pool->PostSequencedWorkerTaskWithShutdownBehavior(
      token, FROM_HERE, BindLambda([&] { ran.push_back("continue"); }),
      SequencedWorkerPool::CONTINUE_ON_SHUTDOWN));
  ASSERT_TRUE(pool->GetSequencedTaskRunner(token)->PostTask(
      FROM_HERE, BindLambda([&] { ran.push_back("runner"); })));
  ASSERT_TRUE(started.TimedWait(kTimeout));

  // The running task is let go once the shut-down has begun.
  Thread releaser("Releaser");
  ASSERT_TRUE(releaser.Start());
  releaser.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] {
    while (!pool->IsShutdownInProgress())
      ::Sleep(1);
    release.Signal();
  }));
  pool->Shutdown();
  releaser.Stop();

  EXPECT_EQ((std::vector<std::string>{"running skip", "block", "runner"}), ran);
  EXPECT_TRUE(pool->IsShutdownInProgress());
  bool late_ran = false;
  EXPECT_FALSE(pool->PostWorkerTask(FROM_HERE, BindLambda([&] { late_ran = true; })));
  EXPECT_FALSE(pool->GetSequencedTaskRunner(token)->PostTask(
      FROM_HERE, BindLambda([&] { late_ran = true; })));
  pool->Shutdown();  // Nothing more to do.
  EXPECT_FALSE(late_ran);
}

TEST(SequencedWorkerPoolTest, ShutdownLeavesARunningContinueOnShutdownTaskToItsThread) {
  scoped_refptr<SequencedWorkerPool> pool = MakeRefCounted<SequencedWorkerPool>(2, "ContinuePool");
  WaitEvent started(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  WaitEvent release(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  WaitEvent finished(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  std::atomic<DWORD> thread_id{0};
  std::atomic<bool> posted_late{true};
  bool blocking_ran = false;
  ASSERT_TRUE(pool->PostWorkerTaskWithShutdownBehavior(
      FROM_HERE, BindLambda([&] {
        thread_id = ::GetCurrentThreadId();
        started.Signal();
        EXPECT_TRUE(release.TimedWait(kTimeout));
        // The pool refuses work from its own abandoned task too.
        posted_late = pool->PostWorkerTask(FROM_HERE, BindLambda([] {}));
        finished.Signal();
      }),
      SequencedWorkerPool::CONTINUE_ON_SHUTDOWN));
  ASSERT_TRUE(started.TimedWait(kTimeout));
  ASSERT_TRUE(pool->PostWorkerTask(FROM_HERE, BindLambda([&] { blocking_ran = true; })));

  // The shut-down runs the blocking task but does not wait for the running one, which
  // holds on until the shut-down has returned.
  Thread shutter("Shutter");
  ASSERT_TRUE(shutter.Start());
  WaitEvent shut_down(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  shutter.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] {
    pool->Shutdown();
    shut_down.Signal();
  }));
  const bool returned_while_running = shut_down.TimedWait(kTimeout);
  release.Signal();
  shutter.Stop();
  EXPECT_TRUE(returned_while_running);
  EXPECT_TRUE(blocking_ran);

  // The thread finishes the task, then ends and forgets its name.
  ASSERT_TRUE(finished.TimedWait(kTimeout));
  EXPECT_FALSE(posted_late);
  const TimeTicks end = TimeTicks::Now() + kTimeout;
  while (!ThreadNameRegistry::GetInstance()->GetName(thread_id).empty() &&
         TimeTicks::Now() < end) {
    ::Sleep(1);
  }
  EXPECT_EQ("", ThreadNameRegistry::GetInstance()->GetName(thread_id));
}

TEST(SequencedWorkerPoolTest, ShutdownStartsThreadsForBlockingTasks) {
  scoped_refptr<SequencedWorkerPool> pool = MakeRefCounted<SequencedWorkerPool>(2, "LatePool");
  std::atomic<int> ran{0};
  for (int i = 0; i < 5; ++i)
    pool->PostWorkerTask(FROM_HERE, BindLambda([&] { ++ran; }));
  pool->Shutdown();
  EXPECT_EQ(5, ran.load());
}

TEST(SequencedWorkerPoolTest, LastReferenceMayGoInsideATask) {
  scoped_refptr<SequencedWorkerPool> pool = MakeRefCounted<SequencedWorkerPool>(2, "SelfPool");
  scoped_refptr<SequencedTaskRunner> runner =
      pool->GetSequencedTaskRunner(pool->GetSequenceToken());
  pool = nullptr;
  std::atomic<DWORD> thread_id{0};
  WaitEvent ran(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  // The task holds the runner, and so the pool, until the task is released on its thread.
  ASSERT_TRUE(runner->PostTask(FROM_HERE, BindLambda([&, runner] {
    thread_id = ::GetCurrentThreadId();
    ran.Signal();
  })));
  runner = nullptr;
  ASSERT_TRUE(ran.TimedWait(kTimeout));
  // The thread shuts its pool down without waiting for itself, then ends (and forgets its
  // name).
  const TimeTicks end = TimeTicks::Now() + kTimeout;
  while (!ThreadNameRegistry::GetInstance()->GetName(thread_id).empty() &&
         TimeTicks::Now() < end) {
    ::Sleep(1);
  }
  EXPECT_EQ("", ThreadNameRegistry::GetInstance()->GetName(thread_id));
}

}  // namespace
}  // namespace base
