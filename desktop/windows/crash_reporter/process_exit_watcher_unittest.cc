#include "desktop/windows/crash_reporter/process_exit_watcher.h"

#include <windows.h>

#include "base/test/child_test_process.h"
#include "desktop/windows/crash_reporter/pending_work_counter.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

constexpr DWORD kDeadlineMs = 20000;

TEST(ProcessExitWatcherChild, DISABLED_Linger) {
  if (base::test::IsChildTest())
    ::Sleep(kDeadlineMs);
}

base::Process StartLingeringChild() {
  return base::test::StartChildTest("ProcessExitWatcherChild.DISABLED_Linger");
}

TEST(ProcessExitWatcherTest, HoldsPendingWorkUntilTheProcessEnds) {
  PendingWorkCounter counter;
  ASSERT_TRUE(counter.CreateEvent());
  base::Process child = StartLingeringChild();
  ASSERT_TRUE(child.IsValid());

  ProcessExitWatcher watcher(&counter);
  ASSERT_TRUE(watcher.Start(child.Pid()));
  counter.Increment();  // A dump request in progress.
  EXPECT_EQ(2, counter.count());
  EXPECT_FALSE(counter.Wait(0));

  ASSERT_TRUE(child.Terminate(1));
  ASSERT_TRUE(child.WaitForExitWithTimeout(kDeadlineMs, nullptr));
  // The watcher gives its unit back from the thread pool; the request still holds one.
  for (ULONGLONG end = ::GetTickCount64() + kDeadlineMs;
       counter.count() != 1 && ::GetTickCount64() < end;) {
    ::Sleep(5);
  }
  EXPECT_EQ(1, counter.count());
  EXPECT_FALSE(counter.Wait(0));
  counter.Decrement();
  EXPECT_TRUE(counter.Wait(kDeadlineMs));

  // Stopping after the process ended does not give the unit back a second time.
  watcher.Stop();
  EXPECT_EQ(0, counter.count());
}

TEST(ProcessExitWatcherTest, ReleasesEachUnitOnce) {
  PendingWorkCounter counter;
  ASSERT_TRUE(counter.CreateEvent());
  base::Process child = StartLingeringChild();
  ASSERT_TRUE(child.IsValid());
  {
    ProcessExitWatcher watcher(&counter);
    ASSERT_TRUE(watcher.Start(child.Pid()));
    EXPECT_EQ(1, counter.count());
    watcher.Stop();
    EXPECT_EQ(0, counter.count());
    EXPECT_TRUE(counter.Wait(0));
  }  // The destructor stops again: nothing more is given back.
  EXPECT_EQ(0, counter.count());
  child.Terminate(1);
  ASSERT_TRUE(child.WaitForExitWithTimeout(kDeadlineMs, nullptr));

  // A process that has already ended gives its unit back at once.
  ProcessExitWatcher ended(&counter);
  ASSERT_TRUE(ended.Start(child.Pid()));
  for (ULONGLONG end = ::GetTickCount64() + kDeadlineMs;
       counter.count() != 0 && ::GetTickCount64() < end;) {
    ::Sleep(5);
  }
  EXPECT_EQ(0, counter.count());
  ended.Stop();

  // A process id that names no process cannot be watched.
  ProcessExitWatcher missing(&counter);
  EXPECT_FALSE(missing.Start(0));
  EXPECT_EQ(0, counter.count());
}

}  // namespace
}  // namespace crash_reporter
