#include "base/metrics/activity_tracker.h"

#include <windows.h>
#include <string.h>

#include <atomic>
#include <memory>
#include <string>

#include "base/location.h"
#include "base/logging.h"
#include "base/metrics/persistent_memory_allocator.h"
#include "base/pending_task.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/wait_event.h"
#include "base/test/child_test_process.h"
#include "base/test/concurrent_threads.h"
#include "base/threading/os_thread.h"
#include "base/threading/thread_name_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Reference = PersistentMemoryAllocator::Reference;

constexpr TimeDelta kTimeout = TimeDelta::FromSeconds(30);
constexpr size_t kTrackerSize = 1024;  // Room for 7 records.

// Registries are made over memory that is never freed: a thread of another test still
// inside an activity when a registry goes would otherwise pop into freed memory.
std::unique_ptr<ActivityTrackerRegistry> CreateRegistry(size_t segment_size) {
  void* memory = new uint64_t[segment_size / 8]();
  return ActivityTrackerRegistry::Create(
      std::unique_ptr<PersistentMemoryAllocator>(
          new PersistentMemoryAllocator(memory, segment_size, 0, 0, false)),
      kTrackerSize);
}

template <typename T>
T Read(const void* base, size_t offset) {
  T value;
  memcpy(&value, static_cast<const char*>(base) + offset, sizeof(value));
  return value;
}

// The tracker memory of |thread_id| in the registry's segment, or null.
const char* FindTrackerMemory(ActivityTrackerRegistry* registry, DWORD thread_id) {
  PersistentMemoryAllocator* allocator = registry->allocator();
  PersistentMemoryAllocator::Iterator iterator(allocator);
  for (Reference ref = iterator.GetNextOfType(ActivityTrackerRegistry::kTypeIdActivityTracker); ref;
       ref = iterator.GetNextOfType(ActivityTrackerRegistry::kTypeIdActivityTracker)) {
    const char* memory = static_cast<const char*>(allocator->GetBlockData(ref, 0, kTrackerSize));
    if (memory && Read<uint64_t>(memory, 16) == thread_id)
      return memory;
  }
  return nullptr;
}

TEST(ActivityTrackerTest, HooksCostNothingWithoutARegistry) {
  ASSERT_EQ(nullptr, ActivityTrackerRegistry::Get());
  PendingTask task(FROM_HERE, Closure());
  ScopedActivity run = ScopedActivity::ForTaskRun(nullptr, task);
  Lock lock;
  lock.Acquire();
  lock.Release();
  ActivityTrackerRegistry::RecordLogMessage("ignored", 7);
  EXPECT_EQ(nullptr, ActivityTrackerRegistry::Get());
}

TEST(ActivityTrackerTest, ThreadsRecordTheirActivitiesInTheSegment) {
  std::unique_ptr<ActivityTrackerRegistry> registry = CreateRegistry(64 * 1024);
  Lock contended;
  std::atomic<DWORD> waiter_id{0};
  WaitEvent holding(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  WaitEvent seen(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  const void* const kCaller = reinterpret_cast<const void*>(0x1234);

  ASSERT_TRUE(test::RunConcurrently(
      3,
      [&](int role) {
        if (role == 0) {
          // Holds the lock until the waiter is seen waiting for it.
          contended.Acquire();
          holding.Signal();
          EXPECT_TRUE(seen.TimedWait(kTimeout));
          contended.Release();
          return;
        }
        if (role == 1) {
          ThreadNameRegistry::GetInstance()->SetName(::GetCurrentThreadId(), "Tracked thread");
          // Locks alone never create a tracker: creating one takes locks itself.
          Lock lock;
          lock.Acquire();
          lock.Release();
          EXPECT_EQ(nullptr, registry->GetTrackerForCurrentThread());

          PendingTask task(Location("Poster", "poster.cc", 7, kCaller), Closure());
          task.sequence_num = 42;
          ScopedActivity run = ScopedActivity::ForTaskRun(kCaller, task);
          ASSERT_NE(nullptr, registry->GetTrackerForCurrentThread());
          EXPECT_TRUE(holding.TimedWait(kTimeout));
          waiter_id = ::GetCurrentThreadId();
          contended.Acquire();
          contended.Release();
          ThreadNameRegistry::GetInstance()->RemoveName(::GetCurrentThreadId());
          return;
        }
        // Watches the waiter's stack from outside, as another process would.
        const TimeTicks deadline = TimeTicks::Now() + kTimeout;
        const char* memory = nullptr;
        while (TimeTicks::Now() < deadline) {
          if (waiter_id && (memory = FindTrackerMemory(registry.get(), waiter_id)) &&
              Read<uint32_t>(memory, 40) == 2) {
            break;
          }
          OsThread::Sleep(TimeDelta::FromMilliseconds(1));
        }
        ASSERT_NE(nullptr, memory);
        EXPECT_EQ(2u, Read<uint32_t>(memory, 40));
        EXPECT_EQ(ThreadTracker::kCookie, Read<uint32_t>(memory, 0));
        EXPECT_EQ((kTrackerSize - 80) / 128, Read<uint32_t>(memory, 4));
        EXPECT_EQ(::GetCurrentProcessId(), Read<uint64_t>(memory, 8));
        EXPECT_STREQ("Tracked thread", memory + 48);
        EXPECT_TRUE(ThreadTracker::IsValidMemory(memory, kTrackerSize));
        // The task, then the lock it waits for.
        const char* task_record = memory + 80;
        EXPECT_EQ(0x10, Read<uint8_t>(task_record, 112));
        EXPECT_EQ(42u, Read<uint64_t>(task_record, 120));
        EXPECT_EQ(0x1234u, Read<uint64_t>(task_record, 8));
        EXPECT_EQ(0x1234u, Read<uint64_t>(task_record, 16));
        const char* lock_record = memory + 80 + 128;
        EXPECT_EQ(0x20, Read<uint8_t>(lock_record, 112));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(&contended), Read<uint64_t>(lock_record, 120));
        seen.Signal();
      },
      kTimeout));

  // The threads ended: their memory went back, cleared, and the next thread reuses it.
  EXPECT_EQ(0, registry->thread_tracker_count());
  PersistentMemoryAllocator::Iterator iterator(registry->allocator());
  const Reference released =
      iterator.GetNextOfType(ActivityTrackerRegistry::kTypeIdActivityTrackerFree);
  ASSERT_NE(0u, released);
  EXPECT_EQ(0u, Read<uint32_t>(registry->allocator()->GetBlockData(released, 0, kTrackerSize), 0));
  const size_t used = registry->allocator()->used();
  ASSERT_TRUE(test::RunConcurrently(
      1,
      [&](int) {
        WaitEvent signaled(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::SIGNALED);
        signaled.Wait();
        EXPECT_NE(nullptr, registry->GetTrackerForCurrentThread());
        EXPECT_EQ(1, registry->thread_tracker_count());
      },
      kTimeout));
  EXPECT_EQ(used, registry->allocator()->used());
}

TEST(ActivityTrackerTest, FatalMessagesAndExhaustedMemory) {
  // Room for the segment header, the histograms' blocks and one tracker at most.
  std::unique_ptr<ActivityTrackerRegistry> registry = CreateRegistry(1200);
  ActivityTrackerRegistry::RecordLogMessage("fatal text", 10);
  PersistentMemoryAllocator::Iterator iterator(registry->allocator());
  const Reference ref = iterator.GetNextOfType(ActivityTrackerRegistry::kTypeIdLogMessage);
  ASSERT_NE(0u, ref);
  EXPECT_STREQ("fatal text",
               static_cast<const char*>(registry->allocator()->GetBlockData(ref, 0, 11)));

  std::atomic<int> without_tracker{0};
  WaitEvent first_done(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  WaitEvent second_done(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  ASSERT_TRUE(test::RunConcurrently(
      2,
      [&](int index) {
        // One after the other, the first keeping its tracker until the second has tried.
        if (index == 1) {
          EXPECT_TRUE(first_done.TimedWait(kTimeout));
        }
        if (!registry->GetOrCreateTrackerForCurrentThread())
          ++without_tracker;
        if (index == 0) {
          first_done.Signal();
          EXPECT_TRUE(second_done.TimedWait(kTimeout));
        } else {
          second_done.Signal();
        }
      },
      kTimeout));
  EXPECT_EQ(1, without_tracker);
}

// The log keeps a FATAL line in the segment of the registry that exists when the process
// ends: the child's crash filter reads it back and ends with 7 when it is there.
TEST(ActivityTrackerTest, FatalLogLineIsKeptInTheSegment) {
  const test::ChildTestResult result =
      test::RunChildTest("ActivityTrackerChild.DISABLED_EndsOnFatalLogLine");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(7u, result.exit_code) << result.output;
}

ActivityTrackerRegistry* g_child_registry = nullptr;

TEST(ActivityTrackerChild, DISABLED_EndsOnFatalLogLine) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  std::unique_ptr<ActivityTrackerRegistry> registry = CreateRegistry(64 * 1024);
  g_child_registry = registry.get();
  ::SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG {
    PersistentMemoryAllocator* allocator = g_child_registry->allocator();
    PersistentMemoryAllocator::Iterator iterator(allocator);
    const Reference ref = iterator.GetNextOfType(ActivityTrackerRegistry::kTypeIdLogMessage);
    const char* text = static_cast<const char*>(allocator->GetBlockData(ref, 0, 1));
    ::TerminateProcess(::GetCurrentProcess(), text && strstr(text, "] kept text\n") ? 7 : 8);
    return EXCEPTION_EXECUTE_HANDLER;
  });
  LOG(FATAL) << "kept text";
}

}  // namespace
}  // namespace base
