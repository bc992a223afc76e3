#include "base/trace_event/memory_dump_manager.h"

#include <windows.h>
#include <stdio.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/wait_event.h"
#include "base/test/child_test_process.h"
#include "base/test/run_loop_watchdog.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/threading/thread.h"
#include "base/trace_event/heap_context_tracker.h"
#include "base/trace_event/memory_allocator_dump.h"
#include "base/trace_event/process_memory_dump.h"
#include "base/trace_event/trace_event.h"
#include "base/trace_event/traced_value.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

constexpr uint64_t kTracedBytes = 416;

// Adds one allocator dump named |dump_name| of kTracedBytes, and records the thread.
class TestProvider : public MemoryDumpProvider {
 public:
  explicit TestProvider(const char* dump_name, bool succeeds = true)
      : dump_name_(dump_name), succeeds_(succeeds) {}

  bool OnMemoryDump(const MemoryDumpArgs& args, ProcessMemoryDump* pmd) override {
    ++dumps;
    thread_id = ::GetCurrentThreadId();
    pmd->CreateAllocatorDump(dump_name_)
        ->AddScalar(MemoryAllocatorDump::kNameSize, MemoryAllocatorDump::kUnitsBytes, kTracedBytes);
    return succeeds_;
  }

  std::atomic<int> dumps{0};
  std::atomic<DWORD> thread_id{0};

 private:
  const char* const dump_name_;
  const bool succeeds_;
};

// Makes this process's dump for every global request, as a delegate spanning processes
// would ask each of them.
class LocalDelegate : public MemoryDumpManagerDelegate {
 public:
  explicit LocalDelegate(MemoryDumpManager* manager) : manager_(manager) {}

  void RequestGlobalMemoryDump(const MemoryDumpRequestArgs& args,
                               const GlobalMemoryDumpCallback& callback) override {
    manager_->CreateProcessDump(
        args, BindLambda([this, callback](uint64_t guid, bool success,
                                          const ProcessMemoryDump* pmd) {
          dump_names.clear();
          for (const auto& dump : pmd->allocator_dumps())
            dump_names.push_back(dump.first);
          if (const MemoryAllocatorDump* dump = pmd->GetAllocatorDump("test/on_runner")) {
            std::unique_ptr<DictionaryValue> attributes = dump->attributes()->ToBaseValue();
            attributes->GetString("size.value", &size_value);
          }
          callback.Run(guid, success);
        }));
  }

  std::vector<std::string> dump_names;
  std::string size_value;

 private:
  MemoryDumpManager* const manager_;
};

// Records "disabled-by-default-memory-infra" while alive, with every level allowed.
class ScopedMemoryTracing {
 public:
  explicit ScopedMemoryTracing(std::vector<TraceConfig::MemoryDumpTrigger> triggers = {}) {
    TraceConfig config;
    config.memory_dump_config.triggers = std::move(triggers);
    config.included_categories = {"test.none"};
    config.disabled_categories = {MemoryDumpManager::kTraceCategory};
    config.memory_dump_config.allowed_dump_modes = {0, 1, 2};
    TraceLog::GetInstance()->SetEnabled(config, TraceLog::RECORDING_MODE,
                                        TraceLog::kRecordUntilFull);
  }
  ScopedMemoryTracing(const ScopedMemoryTracing&) = delete;
  ScopedMemoryTracing& operator=(const ScopedMemoryTracing&) = delete;
  ~ScopedMemoryTracing() { TraceLog::GetInstance()->SetDisabled(TraceLog::RECORDING_MODE); }
};

struct DumpAnswer {
  bool answered = false;
  uint64_t guid = 1;
  bool success = true;
};

GlobalMemoryDumpCallback Record(DumpAnswer* answer, Closure done = Closure()) {
  return BindLambda([answer, done](uint64_t guid, bool success) {
    answer->answered = true;
    answer->guid = guid;
    answer->success = success;
    if (done)
      done.Run();
  });
}

TEST(MemoryDumpManagerTest, ProvidersWithARunnerComeFirstAndRegisterOnce) {
  MessageLoop loop;
  MemoryDumpManager manager;
  TestProvider without_runner("test/without_runner");
  TestProvider with_runner("test/with_runner");
  manager.RegisterDumpProvider(&without_runner, "WithoutRunner", nullptr);
  manager.RegisterDumpProvider(&with_runner, "WithRunner", CurrentThreadTaskRunner::Get());
  manager.RegisterDumpProvider(&with_runner, "WithRunner", CurrentThreadTaskRunner::Get());
  EXPECT_EQ((std::vector<std::string>{"WithRunner", "WithoutRunner"}),
            manager.GetDumpProviderNames());
  manager.UnregisterDumpProvider(&with_runner);
  manager.UnregisterDumpProvider(&with_runner);  // Ignored.
  EXPECT_EQ(std::vector<std::string>{"WithoutRunner"}, manager.GetDumpProviderNames());

  // The trace log registered itself, without a runner, behind every provider with one.
  TraceLog::GetInstance();
  const std::vector<std::string> names = MemoryDumpManager::GetInstance()->GetDumpProviderNames();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ("TraceLog", names.back());
}

TEST(MemoryDumpManagerTest, RequestsAreAnsweredWithoutMemoryTracingOrWithoutADelegate) {
  MessageLoop loop;
  MemoryDumpManager manager;
  DumpAnswer off;
  manager.RequestGlobalDump(MemoryDumpType::kExplicitlyTriggered,
                            MemoryDumpLevelOfDetail::kDetailed, Record(&off));
  EXPECT_TRUE(off.answered);
  EXPECT_EQ(0u, off.guid);
  EXPECT_FALSE(off.success);
  EXPECT_FALSE(manager.IsMemoryTracingEnabled());

  // Memory tracing on, but no delegate to make the dump: the request still gets its answer.
  manager.Initialize(nullptr);
  {
    ScopedMemoryTracing tracing;
    ASSERT_TRUE(manager.IsMemoryTracingEnabled());
    EXPECT_TRUE(manager.IsDumpModeAllowed(MemoryDumpLevelOfDetail::kLight));
    ASSERT_TRUE(manager.session_state());
    DumpAnswer no_delegate;
    manager.RequestGlobalDump(MemoryDumpType::kExplicitlyTriggered,
                              MemoryDumpLevelOfDetail::kLight, Record(&no_delegate));
    EXPECT_TRUE(no_delegate.answered);
    EXPECT_NE(0u, no_delegate.guid);
    EXPECT_FALSE(no_delegate.success);
  }
  EXPECT_FALSE(manager.IsMemoryTracingEnabled());
  EXPECT_FALSE(manager.session_state());
}

TEST(MemoryDumpManagerTest, ADumpAsksEachProviderOnItsThread) {
  MessageLoop loop;
  Thread provider_thread("Dump provider");
  ASSERT_TRUE(provider_thread.Start());
  MemoryDumpManager manager;
  LocalDelegate delegate(&manager);
  manager.Initialize(&delegate);
  TestProvider on_runner("test/on_runner");
  TestProvider on_dump_thread("test/on_dump_thread");
  TestProvider failing("test/failing", false);
  manager.RegisterDumpProvider(&on_runner, "OnRunner", provider_thread.GetTaskRunner());
  manager.RegisterDumpProvider(&on_dump_thread, "OnDumpThread", nullptr);
  manager.RegisterDumpProvider(&failing, "Failing", CurrentThreadTaskRunner::Get());

  ScopedMemoryTracing tracing;
  ASSERT_TRUE(manager.IsMemoryTracingEnabled());
  for (int i = 0; i < MemoryDumpManager::kMaxConsecutiveFailuresCount + 1; ++i) {
    RunLoop run_loop;
    test::RunLoopWatchdog watchdog(&run_loop);
    DumpAnswer answer;
    manager.RequestGlobalDump(MemoryDumpType::kExplicitlyTriggered,
                              MemoryDumpLevelOfDetail::kDetailed,
                              Record(&answer, run_loop.QuitClosure()));
    run_loop.Run();
    ASSERT_TRUE(answer.answered);
    EXPECT_NE(0u, answer.guid);
    // The failing provider fails the dump until it is left out.
    EXPECT_EQ(i == MemoryDumpManager::kMaxConsecutiveFailuresCount, answer.success) << i;
  }
  EXPECT_EQ(4, on_runner.dumps.load());
  EXPECT_EQ(4, on_dump_thread.dumps.load());
  EXPECT_EQ(MemoryDumpManager::kMaxConsecutiveFailuresCount, failing.dumps.load());
  EXPECT_EQ(provider_thread.thread_id(), on_runner.thread_id.load());
  EXPECT_NE(provider_thread.thread_id(), on_dump_thread.thread_id.load());
  EXPECT_NE(::GetCurrentThreadId(), on_dump_thread.thread_id.load());
  EXPECT_EQ(2u, delegate.dump_names.size());
  EXPECT_EQ("1a0", delegate.size_value);  // 416 in hexadecimal.

  // Background dumps ask only whitelisted providers.
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  DumpAnswer background;
  manager.RequestGlobalDump(MemoryDumpType::kPeriodicInterval,
                            MemoryDumpLevelOfDetail::kBackground,
                            Record(&background, run_loop.QuitClosure()));
  run_loop.Run();
  EXPECT_TRUE(background.success);
  EXPECT_EQ(4, on_runner.dumps.load());
  EXPECT_TRUE(delegate.dump_names.empty());

  manager.UnregisterDumpProvider(&failing);
  provider_thread.GetTaskRunner()->PostTask(
      FROM_HERE, BindLambda([&] { manager.UnregisterDumpProvider(&on_runner); }));
  provider_thread.Stop();
  manager.UnregisterDumpProvider(&on_dump_thread);
}

// Answers every request at once and keeps the first levels asked for.
class CountingDelegate : public MemoryDumpManagerDelegate {
 public:
  static constexpr size_t kWanted = 4;

  void RequestGlobalMemoryDump(const MemoryDumpRequestArgs& args,
                               const GlobalMemoryDumpCallback& callback) override {
    {
      AutoLock lock(lock_);
      if (levels_.size() < kWanted) {
        levels_.push_back(args.level_of_detail);
        if (levels_.size() == kWanted)
          done.Signal();
      }
    }
    callback.Run(args.dump_guid, true);
  }

  std::vector<MemoryDumpLevelOfDetail> levels() {
    AutoLock lock(lock_);
    return levels_;
  }

  WaitEvent done{WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED};

 private:
  Lock lock_;
  std::vector<MemoryDumpLevelOfDetail> levels_;
};

TEST(MemoryDumpManagerTest, PeriodicDumpsTakeTheLevelOfTheTriggerThatIsDue) {
  MessageLoop loop;
  MemoryDumpManager manager;
  CountingDelegate delegate;
  manager.Initialize(&delegate);
  {
    // Light every tick, detailed every third tick (the detailed one wins).
    ScopedMemoryTracing tracing(
        {{1, static_cast<uint32_t>(MemoryDumpLevelOfDetail::kLight),
          TraceConfig::TriggerType::kPeriodicInterval},
         {3, static_cast<uint32_t>(MemoryDumpLevelOfDetail::kDetailed),
          TraceConfig::TriggerType::kPeriodicInterval}});
    ASSERT_TRUE(delegate.done.TimedWait(TimeDelta::FromSeconds(30)));
  }
  EXPECT_EQ((std::vector<MemoryDumpLevelOfDetail>{
                MemoryDumpLevelOfDetail::kDetailed, MemoryDumpLevelOfDetail::kLight,
                MemoryDumpLevelOfDetail::kLight, MemoryDumpLevelOfDetail::kDetailed}),
            delegate.levels());
}

TEST(MemoryDumpManagerTest, BackgroundDumpsKeepOnlyWhitelistedNames) {
  MemoryDumpArgs background;
  background.level_of_detail = MemoryDumpLevelOfDetail::kBackground;
  ProcessMemoryDump pmd(background);
  MemoryAllocatorDump* kept = pmd.CreateAllocatorDump("discardable/child_0x1f");
  MemoryAllocatorDump* discarded = pmd.CreateAllocatorDump("secret/0x1f");
  ASSERT_TRUE(kept && discarded);
  EXPECT_EQ("discarded", discarded->absolute_name());
  discarded->AddScalar("size", "bytes", 1);
  EXPECT_EQ(kept, pmd.GetAllocatorDump("discardable/child_0x1f"));
  EXPECT_EQ(nullptr, pmd.GetAllocatorDump("secret/0x1f"));
  EXPECT_EQ(1u, pmd.allocator_dumps().size());
  EXPECT_EQ(kept, pmd.CreateAllocatorDump("discardable/child_0x1f"));

  // Dumps of the same name in one process have one id, others another.
  MemoryDumpArgs detailed;
  detailed.level_of_detail = MemoryDumpLevelOfDetail::kDetailed;
  ProcessMemoryDump other(detailed);
  EXPECT_EQ(kept->guid(), other.CreateAllocatorDump("discardable/child_0x1f")->guid());
  EXPECT_NE(kept->guid(), other.CreateAllocatorDump("secret/0x1f")->guid());

  // The trace log accounts for itself under "tracing/main_trace_log".
  ASSERT_TRUE(TraceLog::GetInstance()->OnMemoryDump(detailed, &other));
  const MemoryAllocatorDump* trace_log = other.GetAllocatorDump("tracing/main_trace_log/TraceLog");
  ASSERT_TRUE(trace_log);
  std::string units;
  EXPECT_TRUE(trace_log->attributes()->ToBaseValue()->GetString("object_count.units", &units));
  EXPECT_EQ("objects", units);
  // And for its buffer: a ring when the last recording of the process echoed to the console.
  EXPECT_TRUE(other.GetAllocatorDump("tracing/main_trace_log/TraceBufferVector") ||
              other.GetAllocatorDump("tracing/main_trace_log/TraceBufferRingBuffer"));
}

TEST(MemoryDumpManagerTest, HeapProfilingFollowsItsSwitch) {
  const test::ChildTestResult result =
      test::RunChildTest("MemoryDumpManagerChild.DISABLED_TracksTaskContexts");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(0u, result.exit_code) << result.output;
  EXPECT_NE(std::string::npos, result.output.find("contexts tracked")) << result.output;

  const test::ChildTestResult native =
      test::RunChildTest("MemoryDumpManagerChild.DISABLED_RefusesOtherModes");
  ASSERT_TRUE(native.started);
  EXPECT_EQ(0u, native.exit_code) << native.output;
  EXPECT_NE(std::string::npos, native.output.find("capture off")) << native.output;
}

TEST(MemoryDumpManagerChild, DISABLED_TracksTaskContexts) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  ASSERT_TRUE(CommandLine::InitForCurrentProcess());
  CommandLine::ForCurrentProcess()->AppendSwitch("enable-heap-profiling");
  ASSERT_EQ(HeapContextTracker::kCaptureDisabled, HeapContextTracker::GetCaptureMode());
  ASSERT_TRUE(MemoryDumpManager::GetInstance()->IsHeapProfilingEnabled());
  ASSERT_EQ(HeapContextTracker::kCapturePseudoStack, HeapContextTracker::GetCaptureMode());

  // Running a task pushes its posting file as the context and pops it afterwards.
  MessageLoop loop;
  RunLoop run_loop;
  test::RunLoopWatchdog watchdog(&run_loop);
  size_t depth_in_task = 0;
  const char* context_in_task = nullptr;
  loop.task_runner()->PostTask(FROM_HERE, BindLambda([&] {
                                 HeapContextTracker* tracker =
                                     HeapContextTracker::GetForCurrentThread();
                                 depth_in_task = tracker->task_contexts().size();
                                 context_in_task = tracker->task_contexts().back();
                                 run_loop.Quit();
                               }));
  run_loop.Run();
  EXPECT_EQ(1u, depth_in_task);
  EXPECT_STREQ(__FILE__, context_in_task);
  HeapContextTracker* tracker = HeapContextTracker::GetForCurrentThread();
  EXPECT_TRUE(tracker->task_contexts().empty());

  // A 17th nested context is dropped, and its pop leaves the 16th in place.
  for (int i = 0; i < 17; ++i)
    tracker->PushTaskContext(i == 15 ? "sixteenth" : "other");
  EXPECT_EQ(HeapContextTracker::kMaxTaskDepth, tracker->task_contexts().size());
  tracker->PopTaskContext();
  EXPECT_STREQ("sixteenth", tracker->task_contexts().back());
  for (int i = 0; i < 20; ++i)
    tracker->PopTaskContext();
  EXPECT_TRUE(tracker->task_contexts().empty());
  printf("contexts tracked\n");
}

TEST(MemoryDumpManagerChild, DISABLED_RefusesOtherModes) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  ASSERT_TRUE(CommandLine::InitForCurrentProcess());
  CommandLine::ForCurrentProcess()->AppendSwitchASCII("enable-heap-profiling", "native");
  EXPECT_FALSE(MemoryDumpManager::GetInstance()->IsHeapProfilingEnabled());
  EXPECT_EQ(HeapContextTracker::kCaptureDisabled, HeapContextTracker::GetCaptureMode());
  EXPECT_EQ(nullptr, HeapContextTracker::GetForCurrentThread());
  printf("capture off\n");
}

}  // namespace
}  // namespace trace_event
}  // namespace base
