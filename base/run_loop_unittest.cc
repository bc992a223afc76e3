#include "base/run_loop.h"

#include <string>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/test/run_loop_watchdog.h"
#include "base/threading/thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(RunLoopTest, QuitEndsTheRunBeforeTheTasksQueuedBehindIt) {
  MessageLoop loop;
  std::string order;
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
                                 order += 'a';
                                 run_loop.Quit();
                                 order += 'b';  // The current task finishes.
                               }));
  loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] { order += 'c'; }));
  run_loop.Run();
  EXPECT_EQ("ab", order);
  EXPECT_FALSE(run_loop.running());

  // The next run picks up where this one stopped.
  RunLoop next_run;
  next_run.QuitWhenIdle();
  next_run.Run();
  EXPECT_EQ("abc", order);
}

TEST(RunLoopTest, QuitBeforeRunReturnsAtOnce) {
  MessageLoop loop;
  bool ran = false;
  loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] { ran = true; }));
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  run_loop.Quit();
  run_loop.Run();
  EXPECT_FALSE(ran);
}

TEST(RunLoopTest, QuitWhenIdleRunsWhatIsDueButDoesNotWaitForLaterTasks) {
  MessageLoop loop;
  int count = 0;
  bool late_ran = false;
  loop.task_runner()->PostDelayedTask(FROM_HERE, BindLambda([&] { late_ran = true; }),
                                      TimeDelta::FromSeconds(30));
  for (int i = 0; i < 3; ++i) {
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
                                   // Tasks posted by tasks count too.
                                   if (++count == 3)
                                     MessageLoop::Current()->task_runner()->PostTask(
                                         FROM_HERE, BindLambda([&] { ++count; }));
                                 }));
  }
  const TimeTicks start = TimeTicks::Now();
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  run_loop.QuitWhenIdle();
  run_loop.Run();
  EXPECT_EQ(4, count);
  EXPECT_FALSE(late_ran);
  EXPECT_LT(TimeTicks::Now() - start, TimeDelta::FromSeconds(5));
}

TEST(RunLoopTest, NestedRunsRunTasksAndQuitOnlyTheirOwnRun) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  std::string order;
  RunLoop outer;
  test::RunLoopWatchdog outer_watchdog(&outer);
  loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
    order += "[";
    EXPECT_FALSE(loop.IsNested());
    RunLoop inner;
    test::RunLoopWatchdog inner_watchdog(&inner);
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
                                   EXPECT_TRUE(loop.IsNested());
                                   order += "n";
                                 }));
    loop.task_runner()->PostTask(FROM_HERE, inner.QuitClosure());
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] { order += "o"; }));
    inner.Run();
    order += "]";
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
                                   order += "q";
                                   outer.Quit();
                                 }));
  }));
  outer.Run();
  // The outer run went on after the inner one ended.
  EXPECT_EQ("[n]oq", order);
}

TEST(RunLoopTest, QuittingTheOuterRunEndsItOnceTheInnerRunEnds) {
  MessageLoop loop;
  std::string order;
  RunLoop outer;
  test::RunLoopWatchdog outer_watchdog(&outer);
  loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
    RunLoop inner;
    test::RunLoopWatchdog inner_watchdog(&inner);
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
                                   outer.Quit();
                                   order += "1";
                                 }));
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
                                   order += "2";
                                   inner.Quit();
                                 }));
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] { order += "4"; }));
    inner.Run();
    order += "3";
  }));
  outer.Run();
  EXPECT_EQ("123", order);
}

TEST(RunLoopTest, QuitAndQuitClosureFromAnotherThread) {
  MessageLoop loop;
  Thread thread("Quitter");
  ASSERT_TRUE(thread.Start());
  {
    RunLoop run_loop;
    test::RunLoopWatchdog watchdog(&run_loop);
    thread.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] { run_loop.Quit(); }));
    run_loop.Run();
  }
  {
    RunLoop run_loop;
    test::RunLoopWatchdog watchdog(&run_loop);
    thread.GetTaskRunner()->PostTask(FROM_HERE, run_loop.QuitClosure());
    run_loop.Run();
  }
}

TEST(RunLoopTest, QuitClosureDoesNothingOnceTheRunLoopIsGone) {
  MessageLoop loop;
  Closure quit_closure;
  {
    RunLoop gone;
    quit_closure = gone.QuitClosure();
  }
  quit_closure.Run();

  // Nor does it quit a later run, from this thread or another.
  Thread thread("Late quitter");
  ASSERT_TRUE(thread.Start());
  bool ran_after = false;
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  thread.GetTaskRunner()->PostTask(FROM_HERE, quit_closure);
  // The closure's own posting reaches this loop before the marker task below.
  thread.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] {
    loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
                                   ran_after = true;
                                   run_loop.Quit();
                                 }));
  }));
  run_loop.Run();
  EXPECT_TRUE(ran_after);
}

}  // namespace
}  // namespace base
