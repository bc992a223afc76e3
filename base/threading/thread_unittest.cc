#include "base/threading/thread.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/run_loop.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/threading/os_thread.h"
#include "base/threading/thread_name_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ThreadTest, StopRunsTheTasksAlreadyPostedAndRefusesLaterOnes) {
  Thread thread("Stop test");
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(nullptr, thread.GetTaskRunner());
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.IsRunning());
  scoped_refptr<SingleThreadTaskRunner> runner = thread.GetTaskRunner();
  ASSERT_TRUE(runner);
  EXPECT_FALSE(runner->RunsTasksOnCurrentThread());

  std::atomic<int> ran{0};
  // The first task holds the thread up while the others queue behind it.
  runner->PostTask(FROM_HERE, BindLambda([&] {
                     OsThread::Sleep(TimeDelta::FromMilliseconds(30));
                     ++ran;
                   }));
  for (int i = 0; i < 100; ++i)
    runner->PostTask(FROM_HERE, BindLambda([&] { ++ran; }));
  bool delayed_ran = false;
  runner->PostDelayedTask(FROM_HERE, BindLambda([&] { delayed_ran = true; }),
                          TimeDelta::FromSeconds(30));
  thread.Stop();
  EXPECT_EQ(101, ran.load());
  EXPECT_FALSE(delayed_ran);
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(0u, thread.thread_id());
  EXPECT_FALSE(runner->PostTask(FROM_HERE, BindLambda([&] { ++ran; })));
  thread.Stop();  // Nothing to do.

  // And it can start again.
  ASSERT_TRUE(thread.Start());
  WaitEvent done(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  thread.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] { done.Signal(); }));
  done.Wait();
}

TEST(ThreadTest, RunsItsOwnLoopOfTheRequestedType) {
  Thread thread("I/O test");
  Thread::Options options;
  options.message_loop_type = MessageLoop::TYPE_IO;
  options.stack_size = 256 * 1024;
  ASSERT_TRUE(thread.StartWithOptions(options));
  DWORD task_thread = 0;
  MessageLoop::Type type = MessageLoop::TYPE_DEFAULT;
  bool runner_is_current = false;
  WaitEvent done(WaitEvent::ResetPolicy::AUTOMATIC, WaitEvent::InitialState::NOT_SIGNALED);
  thread.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] {
    task_thread = ::GetCurrentThreadId();
    type = MessageLoop::Current()->type();
    runner_is_current = CurrentThreadTaskRunner::Get() == thread.GetTaskRunner();
    done.Signal();
  }));
  done.Wait();
  EXPECT_EQ(thread.thread_id(), task_thread);
  EXPECT_NE(::GetCurrentThreadId(), task_thread);
  EXPECT_EQ(MessageLoop::TYPE_IO, type);
  EXPECT_TRUE(runner_is_current);
}

TEST(ThreadTest, DestructorStopsTheThread) {
  std::atomic<bool> ran{false};
  {
    Thread thread("Destructor test");
    ASSERT_TRUE(thread.Start());
    thread.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] {
                                       OsThread::Sleep(TimeDelta::FromMilliseconds(20));
                                       ran = true;
                                     }));
  }
  EXPECT_TRUE(ran);
}

TEST(ThreadNameRegistryTest, NamesThreadsWhileTheyRun) {
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  ASSERT_NE(nullptr, registry);
  EXPECT_EQ(registry, ThreadNameRegistry::GetInstance());
  Thread thread("Named thread 7");
  ASSERT_TRUE(thread.Start());
  const DWORD id = thread.thread_id();
  EXPECT_EQ("Named thread 7", registry->GetName(id));
  thread.Stop();
  EXPECT_EQ("", registry->GetName(id));

  registry->SetName(0xFFFFFFF0u, "first");
  registry->SetName(0xFFFFFFF0u, "second");
  EXPECT_EQ("second", registry->GetName(0xFFFFFFF0u));
  registry->RemoveName(0xFFFFFFF0u);
  EXPECT_EQ("", registry->GetName(0xFFFFFFF0u));
}

class RecordingDelegate : public OsThread::Delegate {
 public:
  void ThreadMain() override {
    thread_id = ::GetCurrentThreadId();
    OsThread::SetName("Os thread test");
    name = ThreadNameRegistry::GetInstance()->GetName(thread_id);
    ThreadNameRegistry::GetInstance()->RemoveName(thread_id);
  }

  DWORD thread_id = 0;
  std::string name;
};

TEST(OsThreadTest, CreateRunsTheDelegateAndJoinWaitsForIt) {
  RecordingDelegate delegate;
  win::ScopedHandle handle;
  ASSERT_TRUE(OsThread::Create(0, &delegate, &handle));
  ASSERT_TRUE(handle.IsValid());
  OsThread::Join(&handle);
  EXPECT_FALSE(handle.IsValid());
  EXPECT_NE(0u, delegate.thread_id);
  EXPECT_NE(::GetCurrentThreadId(), delegate.thread_id);
  EXPECT_EQ("Os thread test", delegate.name);
}

TEST(OsThreadTest, SleepLastsAtLeastTheDuration) {
  const TimeTicks start = TimeTicks::Now();
  OsThread::Sleep(TimeDelta::FromMilliseconds(15));
  EXPECT_GE(TimeTicks::Now() - start, TimeDelta::FromMilliseconds(15));
  OsThread::Sleep(TimeDelta::FromMilliseconds(-5));
}

}  // namespace
}  // namespace base
