#include "base/synchronization/wait_event.h"

#include <windows.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/threading/thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using ResetPolicy = WaitEvent::ResetPolicy;
using InitialState = WaitEvent::InitialState;

TEST(WaitEventTest, InitialStateZeroIsSignalled) {
  WaitEvent signalled(ResetPolicy::MANUAL, static_cast<InitialState>(0));
  EXPECT_TRUE(signalled.IsSignaled());
  WaitEvent not_signalled(static_cast<ResetPolicy>(0), static_cast<InitialState>(1));
  EXPECT_FALSE(not_signalled.IsSignaled());
  EXPECT_NE(nullptr, not_signalled.handle());
}

TEST(WaitEventTest, ManualEventStaysSignalledUntilReset) {
  WaitEvent event(ResetPolicy::MANUAL, InitialState::NOT_SIGNALED);
  event.Signal();
  event.Wait();
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_TRUE(event.TimedWait(TimeDelta()));
  event.Reset();
  EXPECT_FALSE(event.IsSignaled());
}

TEST(WaitEventTest, AutomaticEventWakesOneWait) {
  WaitEvent event(static_cast<ResetPolicy>(1), InitialState::SIGNALED);
  event.Wait();
  EXPECT_FALSE(event.IsSignaled());
  event.Signal();
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_FALSE(event.IsSignaled());
}

TEST(WaitEventTest, TimedWait) {
  WaitEvent event(ResetPolicy::AUTOMATIC, InitialState::NOT_SIGNALED);
  const TimeTicks start = TimeTicks::Now();
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMilliseconds(30)));
  EXPECT_GE(TimeTicks::Now() - start, TimeDelta::FromMilliseconds(30));
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMilliseconds(-1)));

  Thread thread("Signaller");
  ASSERT_TRUE(thread.Start());
  thread.GetTaskRunner()->PostDelayedTask(FROM_HERE, BindLambda([&] { event.Signal(); }),
                                          TimeDelta::FromMilliseconds(20));
  EXPECT_TRUE(event.TimedWait(TimeDelta::FromSeconds(10)));
}

TEST(WaitEventTest, AdoptsAnEventHandle) {
  WaitEvent event(win::ScopedHandle(::CreateEventW(nullptr, TRUE, TRUE, nullptr)));
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_TRUE(event.IsSignaled());
}

}  // namespace
}  // namespace base
