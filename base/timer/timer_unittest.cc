#include "base/timer/timer.h"

#include <memory>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/run_loop_watchdog.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr TimeDelta kPeriod = TimeDelta::FromMilliseconds(10);
// How late a timer may run on a busy machine; far later means it is broken.
constexpr TimeDelta kLateness = TimeDelta::FromSeconds(2);

void RunFor(TimeDelta duration) {
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop, duration + kLateness);
  MessageLoop::Current()->task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                                         duration);
  run_loop.Run();
}

TEST(TimerTest, RepeatsAtItsPeriodUntilStopped) {
  MessageLoop loop;
  Timer timer;
  EXPECT_FALSE(timer.IsRunning());
  std::vector<TimeTicks> runs;
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  const TimeTicks start = TimeTicks::Now();
  timer.Start(FROM_HERE, kPeriod, BindLambda([&] {
                runs.push_back(TimeTicks::Now());
                if (runs.size() == 5) {
                  timer.Stop();
                  run_loop.Quit();
                }
              }));
  EXPECT_TRUE(timer.IsRunning());
  EXPECT_EQ(kPeriod, timer.period());
  run_loop.Run();
  ASSERT_EQ(5u, runs.size());
  // The n-th run comes n periods after the start (the periods do not drift), and not far
  // later.
  for (size_t i = 0; i < runs.size(); ++i) {
    const TimeDelta due = kPeriod * static_cast<int64_t>(i + 1);
    EXPECT_GE(runs[i] - start, due) << "run " << i;
    EXPECT_LT(runs[i] - start, due + kLateness) << "run " << i;
  }
  EXPECT_FALSE(timer.IsRunning());
  RunFor(kPeriod * 3);
  EXPECT_EQ(5u, runs.size());

  // Reset starts it again with the same task.
  const TimeTicks reset_at = TimeTicks::Now();
  timer.Reset();
  EXPECT_TRUE(timer.IsRunning());
  RunFor(kPeriod * 3 + kPeriod / 2);
  const TimeTicks stopped_at = TimeTicks::Now();
  timer.Stop();
  ASSERT_GE(runs.size(), 6u);
  EXPECT_GE(runs[5] - reset_at, kPeriod);
  EXPECT_LT(runs[5] - reset_at, kPeriod + kLateness);
  // The n-th run after the reset comes n periods after it or later: never more runs than
  // periods went by until the stop, however late the loop got to its tasks (a stall
  // before the end of the run was posted lets four periods pass within it).
  for (size_t i = 5; i < runs.size(); ++i)
    EXPECT_GE(runs[i] - reset_at, kPeriod * static_cast<int64_t>(i - 4)) << "run " << i;
  EXPECT_LE(static_cast<int64_t>(runs.size() - 5),
            (stopped_at - reset_at).InMicroseconds() / kPeriod.InMicroseconds());
}

TEST(TimerTest, DestroyingTheTimerAbandonsItsTask) {
  MessageLoop loop;
  int count = 0;
  auto timer = std::make_unique<Timer>();
  timer->Start(FROM_HERE, kPeriod, BindLambda([&] { ++count; }));
  timer.reset();
  RunFor(kPeriod * 3);
  EXPECT_EQ(0, count);
}

TEST(TimerTest, TaskMayDestroyItsTimer) {
  MessageLoop loop;
  int count = 0;
  auto timer = std::make_unique<Timer>();
  timer->Start(FROM_HERE, kPeriod, BindLambda([&] {
                 ++count;
                 timer.reset();
               }));
  RunFor(kPeriod * 4);
  EXPECT_EQ(1, count);
}

TEST(OneShotTimerTest, RunsOnceAndResetPostponesIt) {
  MessageLoop loop;
  OneShotTimer timer;
  int count = 0;
  TimeTicks ran_at;
  const TimeTicks start = TimeTicks::Now();
  timer.Start(FROM_HERE, TimeDelta::FromMilliseconds(40), BindLambda([&] {
                ++count;
                ran_at = TimeTicks::Now();
              }));
  RunFor(TimeDelta::FromMilliseconds(20));
  EXPECT_EQ(0, count);
  timer.Reset();  // Now 40 ms from here, some 60 ms from the start.
  RunFor(TimeDelta::FromMilliseconds(100));
  EXPECT_EQ(1, count);
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_GE(ran_at - start, TimeDelta::FromMilliseconds(60));
  EXPECT_LT(ran_at - start, TimeDelta::FromMilliseconds(60) + kLateness);
}

}  // namespace
}  // namespace base
