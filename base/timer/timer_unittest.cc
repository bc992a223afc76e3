#include "base/timer/timer.h"

#include <memory>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr TimeDelta kPeriod = TimeDelta::FromMilliseconds(10);

void RunFor(TimeDelta duration) {
  RunLoop run_loop;
  MessageLoop::Current()->task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                                         duration);
  run_loop.Run();
}

TEST(TimerTest, RepeatsAtItsPeriodUntilStopped) {
  MessageLoop loop;
  Timer timer;
  EXPECT_FALSE(timer.IsRunning());
  int count = 0;
  RunLoop run_loop;
  const TimeTicks start = TimeTicks::Now();
  timer.Start(FROM_HERE, kPeriod, BindLambda([&] {
                if (++count == 5) {
                  timer.Stop();
                  run_loop.Quit();
                }
              }));
  EXPECT_TRUE(timer.IsRunning());
  EXPECT_EQ(kPeriod, timer.period());
  run_loop.Run();
  EXPECT_EQ(5, count);
  EXPECT_GE(TimeTicks::Now() - start, kPeriod * 5);
  EXPECT_FALSE(timer.IsRunning());
  RunFor(kPeriod * 3);
  EXPECT_EQ(5, count);

  // Reset starts it again with the same task.
  timer.Reset();
  EXPECT_TRUE(timer.IsRunning());
  RunFor(kPeriod * 3 + kPeriod / 2);
  timer.Stop();
  EXPECT_GE(count, 6);
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
}

}  // namespace
}  // namespace base
