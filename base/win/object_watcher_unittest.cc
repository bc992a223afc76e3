#include "base/win/object_watcher.h"

#include <windows.h>

#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/process/launch.h"
#include "base/run_loop.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/os_thread.h"
#include "base/threading/thread.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

class RecordingDelegate : public ObjectWatcher::Delegate {
 public:
  void OnObjectSignaled(HANDLE object) override {
    signaled.push_back(object);
    thread_id = ::GetCurrentThreadId();
    if (run_loop)
      run_loop->Quit();
  }

  std::vector<HANDLE> signaled;
  DWORD thread_id = 0;
  RunLoop* run_loop = nullptr;
};

// Runs the loop until nothing is left to do now.
void RunUntilIdle() {
  RunLoop run_loop;
  run_loop.QuitWhenIdle();
  run_loop.Run();
}

void RunWithTimeout(RunLoop* run_loop) {
  MessageLoop::Current()->task_runner()->PostDelayedTask(FROM_HERE, BindLambda([run_loop] {
    ADD_FAILURE() << "timed out";
    run_loop->Quit();
  }),
                                                         TimeDelta::FromSeconds(10));
  run_loop->Run();
}

TEST(ObjectWatcherTest, EventSignalledOnAnotherThreadIsReportedOnTheWatchingThread) {
  MessageLoop loop;
  WaitEvent event(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  ObjectWatcher watcher;
  EXPECT_FALSE(watcher.IsWatching());
  RecordingDelegate delegate;
  ASSERT_TRUE(watcher.RegisterWait(event.handle(), &delegate));
  EXPECT_TRUE(watcher.IsWatching());
  EXPECT_EQ(event.handle(), watcher.GetWatchedObject());
  // A second watch needs the first to end.
  EXPECT_FALSE(watcher.RegisterWait(event.handle(), &delegate));

  Thread thread("Event signaller");
  ASSERT_TRUE(thread.Start());
  thread.GetTaskRunner()->PostDelayedTask(FROM_HERE, BindLambda([&] { event.Signal(); }),
                                          TimeDelta::FromMilliseconds(10));
  RunLoop run_loop;
  delegate.run_loop = &run_loop;
  RunWithTimeout(&run_loop);
  EXPECT_EQ(std::vector<HANDLE>{event.handle()}, delegate.signaled);
  EXPECT_EQ(::GetCurrentThreadId(), delegate.thread_id);
  EXPECT_FALSE(watcher.IsWatching());
  EXPECT_EQ(nullptr, watcher.GetWatchedObject());

  // Once: the event stays signalled, no second report.
  RunUntilIdle();
  EXPECT_EQ(1u, delegate.signaled.size());
}

TEST(ObjectWatcherTest, ReportsTheEndOfAChildProcess) {
  MessageLoop loop;
  LaunchOptions options;
  options.start_hidden = true;
  Process process = LaunchProcess(L"cmd.exe /c exit 3", options);
  ASSERT_TRUE(process.IsValid());
  ObjectWatcher watcher;
  RecordingDelegate delegate;
  ASSERT_TRUE(watcher.RegisterWait(process.Handle(), &delegate));
  RunLoop run_loop;
  delegate.run_loop = &run_loop;
  RunWithTimeout(&run_loop);
  ASSERT_EQ(std::vector<HANDLE>{process.Handle()}, delegate.signaled);
  DWORD exit_code = 0;
  EXPECT_TRUE(::GetExitCodeProcess(process.Handle(), &exit_code));
  EXPECT_EQ(3u, exit_code);
}

// Whether the signal comes before StopWatching (its task already posted) or after it, the
// delegate does not hear of it.
TEST(ObjectWatcherTest, NoSignalReachesTheDelegateAfterStopWatching) {
  MessageLoop loop;
  for (const bool signal_first : {false, true}) {
    SCOPED_TRACE(signal_first);
    WaitEvent event(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
    ObjectWatcher watcher;
    RecordingDelegate delegate;
    ASSERT_TRUE(watcher.RegisterWait(event.handle(), &delegate));
    if (signal_first) {
      event.Signal();
      // The thread-pool wait posts its task, which waits behind this test's code.
      OsThread::Sleep(TimeDelta::FromMilliseconds(100));
    }
    EXPECT_TRUE(watcher.StopWatching());
    EXPECT_FALSE(watcher.IsWatching());
    EXPECT_FALSE(watcher.StopWatching());
    event.Signal();
    OsThread::Sleep(TimeDelta::FromMilliseconds(20));
    RunUntilIdle();
    EXPECT_TRUE(delegate.signaled.empty());
  }
}

TEST(ObjectWatcherTest, DestructorEndsTheWatch) {
  MessageLoop loop;
  WaitEvent event(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::SIGNALED);
  RecordingDelegate delegate;
  {
    ObjectWatcher watcher;
    ASSERT_TRUE(watcher.RegisterWait(event.handle(), &delegate));
    OsThread::Sleep(TimeDelta::FromMilliseconds(50));
  }
  RunUntilIdle();
  EXPECT_TRUE(delegate.signaled.empty());
}

TEST(ObjectWatcherTest, StopsWhenTheLoopIsDestroyed) {
  WaitEvent event(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  ObjectWatcher watcher;
  RecordingDelegate delegate;
  {
    MessageLoop loop;
    ASSERT_TRUE(watcher.RegisterWait(event.handle(), &delegate));
  }
  EXPECT_FALSE(watcher.IsWatching());
  event.Signal();
  EXPECT_FALSE(watcher.RegisterWait(event.handle(), &delegate));  // No loop now.
}

// The delegate may watch again from its notification.
class RewatchingDelegate : public ObjectWatcher::Delegate {
 public:
  RewatchingDelegate(ObjectWatcher* watcher, HANDLE second, RunLoop* run_loop)
      : watcher_(watcher), second_(second), run_loop_(run_loop) {}

  void OnObjectSignaled(HANDLE object) override {
    signaled.push_back(object);
    if (signaled.size() == 1)
      EXPECT_TRUE(watcher_->RegisterWait(second_, this));
    else
      run_loop_->Quit();
  }

  std::vector<HANDLE> signaled;

 private:
  ObjectWatcher* watcher_;
  HANDLE second_;
  RunLoop* run_loop_;
};

TEST(ObjectWatcherTest, DelegateMayWatchAgain) {
  MessageLoop loop;
  WaitEvent first(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::SIGNALED);
  WaitEvent second(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::SIGNALED);
  ObjectWatcher watcher;
  RunLoop run_loop;
  RewatchingDelegate delegate(&watcher, second.handle(), &run_loop);
  ASSERT_TRUE(watcher.RegisterWait(first.handle(), &delegate));
  RunWithTimeout(&run_loop);
  EXPECT_EQ((std::vector<HANDLE>{first.handle(), second.handle()}), delegate.signaled);
}

}  // namespace
}  // namespace win
}  // namespace base
