#include "base/metrics/task_profiler.h"

#include <stdio.h>

#include <string>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/location.h"
#include "base/pending_task.h"
#include "base/synchronization/wait_event.h"
#include "base/test/child_test_process.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/threading/os_thread.h"
#include "base/threading/thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr TimeDelta kTimeout = TimeDelta::FromSeconds(30);

// Runs |task| on |thread| and waits for it.
void RunOn(Thread* thread, Closure task) {
  WaitEvent done(WaitEvent::ResetPolicy::AUTOMATIC, WaitEvent::InitialState::NOT_SIGNALED);
  thread->GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] {
                                      task.Run();
                                      done.Signal();
                                    }));
  ASSERT_TRUE(done.TimedWait(kTimeout));
}

TEST(TaskProfilerTest, StartsWithTheFirstNamedThreadButNotWithBrokerEvent) {
  const test::ChildTestResult result =
      test::RunChildTest("TaskProfilerChild.DISABLED_StartsWithTheFirstNamedThread");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(0u, result.exit_code) << result.output;
  EXPECT_NE(std::string::npos, result.output.find("profiler active")) << result.output;
}

TEST(TaskProfilerChild, DISABLED_StartsWithTheFirstNamedThread) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  EXPECT_EQ(ThreadData::UNINITIALIZED, ThreadData::status());
  EXPECT_EQ(nullptr, ThreadData::Get());
  EXPECT_EQ(0u, ThreadData::Now());
  TaskStopwatch stopwatch;
  stopwatch.Start();
  stopwatch.Stop();
  EXPECT_EQ(nullptr, stopwatch.thread_data());

  OsThread::SetName("BrokerEvent");
  EXPECT_EQ(ThreadData::UNINITIALIZED, ThreadData::status());
  EXPECT_EQ(nullptr, ThreadData::Get());

  OsThread::SetName("Installer main 1");
  ASSERT_EQ(ThreadData::PROFILING_ACTIVE, ThreadData::status());
  ASSERT_NE(nullptr, ThreadData::Get());
  EXPECT_EQ("Installer main *", ThreadData::Get()->thread_name());
  // A second name changes nothing: the thread keeps its record.
  ThreadData* record = ThreadData::Get();
  OsThread::SetName("Renamed");
  EXPECT_EQ(record, ThreadData::Get());
  EXPECT_NE(0u, ThreadData::Now());
  printf("profiler active\n");
}

TEST(TaskProfilerTest, TimingFollowsTheProfilerTimingSwitch) {
  EXPECT_TRUE(ThreadData::IsTimingEnabledBy(nullptr));
  const CommandLine none = CommandLine::FromString(L"a.exe");
  const CommandLine off = CommandLine::FromString(L"a.exe --profiler-timing=0");
  const CommandLine zeros = CommandLine::FromString(L"a.exe --profiler-timing=00");
  const CommandLine empty = CommandLine::FromString(L"a.exe --profiler-timing");
  EXPECT_TRUE(ThreadData::IsTimingEnabledBy(&none));
  EXPECT_FALSE(ThreadData::IsTimingEnabledBy(&off));
  EXPECT_TRUE(ThreadData::IsTimingEnabledBy(&zeros));
  EXPECT_TRUE(ThreadData::IsTimingEnabledBy(&empty));
}

TEST(TaskProfilerTest, ThreadsOfOneNamePatternShareARecord) {
  ThreadData* first_record = nullptr;
  {
    Thread worker("Worker 12");
    ASSERT_TRUE(worker.Start());
    RunOn(&worker, BindLambda([&] { first_record = ThreadData::Get(); }));
  }
  ASSERT_NE(nullptr, first_record);
  EXPECT_EQ("Worker *", first_record->thread_name());

  // Started after the first one ended, a thread of the same pattern carries on its record.
  Thread later("Worker 7");
  ASSERT_TRUE(later.Start());
  ThreadData* later_record = nullptr;
  RunOn(&later, BindLambda([&] { later_record = ThreadData::Get(); }));
  EXPECT_EQ(first_record, later_record);

  Thread other("Different");
  ASSERT_TRUE(other.Start());
  ThreadData* other_record = nullptr;
  RunOn(&other, BindLambda([&] { other_record = ThreadData::Get(); }));
  EXPECT_NE(first_record, other_record);
  EXPECT_EQ("Different", other_record->thread_name());
}

TEST(TaskProfilerTest, CountsBirthsAndDeathsOfPostedTasks) {
  Thread thread("Profiled tasks");
  ASSERT_TRUE(thread.Start());
  static const Location kPostSite("PostSite", __FILE__, __LINE__, nullptr);
  WaitEvent all_ran(WaitEvent::ResetPolicy::AUTOMATIC, WaitEvent::InitialState::NOT_SIGNALED);
  int ran = 0;
  ThreadData* record = nullptr;
  Births* births = nullptr;
  int32_t births_before = 0;
  // A record may come back from an earlier thread of this name: count from where it is.
  DeathData deaths_before;
  RunOn(&thread, BindLambda([&] {
    record = ThreadData::Get();
    births = record->TallyBirth(kPostSite);
    births_before = births->birth_count();
    record->GetDeathData(births, &deaths_before);
    for (int i = 0; i < 3; ++i) {
      CurrentThreadTaskRunner::Get()->PostTask(kPostSite, BindLambda([&] {
                                                 if (++ran == 3)
                                                   all_ran.Signal();
                                               }));
    }
  }));
  ASSERT_TRUE(all_ran.TimedWait(kTimeout));

  // The same site tallies into the same record of births.
  Births* again = nullptr;
  RunOn(&thread, BindLambda([&] { again = ThreadData::Get()->TallyBirth(kPostSite); }));
  ASSERT_EQ(births, again);
  EXPECT_EQ(births_before + 4, births->birth_count());
  EXPECT_EQ(record, births->birth_thread());
  DeathData deaths;
  ASSERT_TRUE(record->GetDeathData(births, &deaths));
  EXPECT_EQ(deaths_before.count + 3, deaths.count);
  EXPECT_EQ(deaths_before.sample_probability_count + 3, deaths.sample_probability_count);
  EXPECT_GE(deaths.queue_duration_sum, 0);
  EXPECT_GE(deaths.run_duration_max, deaths.run_duration_sample);
}

TEST(TaskProfilerTest, NestedStopwatchesAreExcludedAndUnknownBirthsIgnored) {
  Thread thread("Stopwatches");
  ASSERT_TRUE(thread.Start());
  RunOn(&thread, BindLambda([&] {
    TaskStopwatch outer;
    outer.Start();
    TaskStopwatch inner;
    inner.Start();
    OsThread::Sleep(TimeDelta::FromMilliseconds(20));
    inner.Stop();
    outer.Stop();
    EXPECT_GT(inner.wall_duration(), 0u);
    EXPECT_EQ(inner.wall_duration(), outer.excluded_duration());
    EXPECT_EQ(static_cast<int32_t>(outer.wall_duration() - inner.wall_duration()),
              outer.RunDuration());
    EXPECT_EQ(ThreadData::Get(), outer.thread_data());

    // Tasks posted by threads without a record have no births: nothing is tallied.
    PendingTask task(FROM_HERE, Closure());
    ThreadData::TallyRunOfTask(task, outer, nullptr);
    ThreadData::TallyDeath(nullptr, 5, outer);
  }));
}

}  // namespace
}  // namespace base
