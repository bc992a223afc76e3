#include "base/threading/worker_pool.h"

#include <windows.h>

#include <atomic>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/threading/thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Bound into a callback: tells on which thread the callback's state is released.
class ReleaseWitness : public RefCountedThreadSafe<ReleaseWitness> {
 public:
  explicit ReleaseWitness(std::atomic<DWORD>* released_on) : released_on_(released_on) {}

 private:
  friend class RefCountedThreadSafe<ReleaseWitness>;
  ~ReleaseWitness() { *released_on_ = ::GetCurrentThreadId(); }

  std::atomic<DWORD>* released_on_;
};

TEST(WorkerPoolTest, PostTaskRunsOnAPoolThread) {
  for (const bool slow : {false, true}) {
    WaitEvent done(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
    std::atomic<DWORD> ran_on{0};
    std::atomic<bool> runs_tasks_inside{false};
    std::atomic<DWORD> released_on{0};
    // The task holds the only reference to the witness.
    Closure task =
        BindLambda([&, witness = MakeRefCounted<ReleaseWitness>(&released_on)] {
          ran_on = ::GetCurrentThreadId();
          runs_tasks_inside = WorkerPool::RunsTasksOnCurrentThread();
          done.Signal();
        });
    ASSERT_TRUE(WorkerPool::PostTask(FROM_HERE, std::move(task), slow));
    ASSERT_TRUE(done.TimedWait(TimeDelta::FromSeconds(10)));
    // The task's state is released just after it ran.
    for (int i = 0; i < 500 && !released_on; ++i)
      ::Sleep(2);
    EXPECT_NE(0u, ran_on.load());
    EXPECT_NE(::GetCurrentThreadId(), ran_on.load());
    EXPECT_EQ(ran_on.load(), released_on.load());
    EXPECT_TRUE(runs_tasks_inside);
    EXPECT_FALSE(WorkerPool::RunsTasksOnCurrentThread());
  }
}

TEST(WorkerPoolTest, ReplyRunsOnThePostingThreadAfterTheTask) {
  MessageLoop loop;
  RunLoop run_loop;
  const DWORD this_thread = ::GetCurrentThreadId();
  std::atomic<DWORD> task_thread{0};
  DWORD reply_thread = 0;
  bool task_ran_before_reply = false;
  std::atomic<DWORD> task_state_released_on{0};
  std::atomic<DWORD> reply_state_released_on{0};
  // The callbacks hold the only references to the witnesses.
  ASSERT_TRUE(WorkerPool::PostTaskAndReply(
      FROM_HERE,
      BindLambda([&, witness = MakeRefCounted<ReleaseWitness>(&task_state_released_on)] {
        task_thread = ::GetCurrentThreadId();
      }),
      BindLambda([&, witness = MakeRefCounted<ReleaseWitness>(&reply_state_released_on)] {
        reply_thread = ::GetCurrentThreadId();
        task_ran_before_reply = task_thread != 0;
        run_loop.Quit();
      }),
      true));
  run_loop.Run();

  EXPECT_NE(this_thread, task_thread.load());
  EXPECT_EQ(this_thread, reply_thread);
  EXPECT_TRUE(task_ran_before_reply);
  // The task's state went on its pool thread before the reply was posted; the reply's goes
  // here, once the reply has run.
  EXPECT_EQ(task_thread.load(), task_state_released_on.load());
  RunLoop until_idle;
  until_idle.QuitWhenIdle();
  until_idle.Run();
  EXPECT_EQ(this_thread, reply_state_released_on.load());
}

TEST(WorkerPoolTest, PostTaskAndReplyNeedsATaskRunnerOnThePostingThread) {
  // No MessageLoop on this thread: nothing is posted, and the callbacks' state goes here.
  std::atomic<bool> ran{false};
  std::atomic<DWORD> released_on{0};
  scoped_refptr<ReleaseWitness> witness = MakeRefCounted<ReleaseWitness>(&released_on);
  EXPECT_FALSE(WorkerPool::PostTaskAndReply(FROM_HERE, BindLambda([&, witness] { ran = true; }),
                                            BindLambda([&] { ran = true; }), false));
  witness = nullptr;
  EXPECT_EQ(::GetCurrentThreadId(), released_on.load());
  EXPECT_FALSE(ran);
}

// The reply's bound state belongs to the posting thread: it is never released on the
// thread that ran the task, also when the posting thread's loop is gone by then.
TEST(PostTaskAndReplyTest, ReplyStateStaysOffTheWorkerWhenThePostingLoopIsGone) {
  constexpr TimeDelta kTimeout = TimeDelta::FromSeconds(10);
  Thread poster("Poster");
  Thread worker("Worker");
  ASSERT_TRUE(poster.Start());
  ASSERT_TRUE(worker.Start());
  WaitEvent posted(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  WaitEvent release(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  std::atomic<bool> reply_ran{false};
  std::atomic<DWORD> reply_state_released_on{0};
  poster.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] {
    EXPECT_TRUE(worker.GetTaskRunner()->PostTaskAndReply(
        FROM_HERE, BindLambda([&] { EXPECT_TRUE(release.TimedWait(kTimeout)); }),
        BindLambda([&, witness = MakeRefCounted<ReleaseWitness>(&reply_state_released_on)] {
          reply_ran = true;
        })));
    posted.Signal();
  }));
  ASSERT_TRUE(posted.TimedWait(kTimeout));
  poster.Stop();
  release.Signal();
  worker.Stop();  // After the task and its attempt to send the reply.

  EXPECT_FALSE(reply_ran);
  EXPECT_EQ(0u, reply_state_released_on.load());
}

// A task dropped unrun (a pool shutting down) goes back with its reply to the posting
// thread, whose loop releases both.
TEST(PostTaskAndReplyTest, DroppedTaskIsReleasedOnThePostingThread) {
  constexpr TimeDelta kTimeout = TimeDelta::FromSeconds(10);
  MessageLoop loop;
  scoped_refptr<SequencedWorkerPool> pool = MakeRefCounted<SequencedWorkerPool>(1, "DropPool");
  WaitEvent busy(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  WaitEvent release(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  // Holds the pool's only thread, so that the next task is still pending at shut-down.
  ASSERT_TRUE(pool->PostWorkerTaskWithShutdownBehavior(FROM_HERE, BindLambda([&] {
    busy.Signal();
    EXPECT_TRUE(release.TimedWait(kTimeout));
  }),
                                                       SequencedWorkerPool::CONTINUE_ON_SHUTDOWN));
  ASSERT_TRUE(busy.TimedWait(kTimeout));
  std::atomic<bool> ran{false};
  std::atomic<DWORD> task_state_released_on{0};
  std::atomic<DWORD> reply_state_released_on{0};
  ASSERT_TRUE(
      pool->GetSequencedTaskRunnerWithShutdownBehavior(pool->GetSequenceToken(),
                                                       SequencedWorkerPool::SKIP_ON_SHUTDOWN)
          ->PostTaskAndReply(
              FROM_HERE,
              BindLambda([&, witness = MakeRefCounted<ReleaseWitness>(&task_state_released_on)] {
                ran = true;
              }),
              BindLambda([&, witness = MakeRefCounted<ReleaseWitness>(&reply_state_released_on)] {
                ran = true;
              })));
  // Shut down from another thread, which drops the pending task there.
  Thread stopper("Stopper");
  ASSERT_TRUE(stopper.Start());
  stopper.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] { pool->Shutdown(); }));
  stopper.Stop();
  release.Signal();

  // The shut-down sent the dropped task and its reply here before it returned.
  EXPECT_EQ(0u, reply_state_released_on.load());
  RunLoop run_loop;
  run_loop.QuitWhenIdle();
  run_loop.Run();
  EXPECT_FALSE(ran);
  EXPECT_EQ(::GetCurrentThreadId(), task_state_released_on.load());
  EXPECT_EQ(::GetCurrentThreadId(), reply_state_released_on.load());
}

}  // namespace
}  // namespace base
