#include "base/threading/thread_local_slot.h"

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

// Values seen by the destructors: each thread stores the address of its own counter.
std::atomic<int> g_destructor_calls{0};
void CountingDestructor(void* value) {
  ++*static_cast<std::atomic<int>*>(value);
  ++g_destructor_calls;
}

TEST(ThreadLocalSlotTest, ValuesArePerThread) {
  ThreadLocalSlot slot;
  slot.Initialize(nullptr);
  EXPECT_EQ(nullptr, slot.Get());
  int main_value = 0;
  slot.Set(&main_value);
  void* seen_on_other = &main_value;
  std::thread([&] {
    seen_on_other = slot.Get();
    int other_value = 0;
    slot.Set(&other_value);
    EXPECT_EQ(&other_value, slot.Get());
  }).join();
  EXPECT_EQ(nullptr, seen_on_other);
  EXPECT_EQ(&main_value, slot.Get());
  slot.Free();
  EXPECT_FALSE(slot.initialized());
}

TEST(ThreadLocalSlotTest, KeepsLastError) {
  ThreadLocalSlot slot;
  slot.Initialize(nullptr);
  ::SetLastError(ERROR_ACCESS_DENIED);
  slot.Set(&slot);
  EXPECT_EQ(&slot, slot.Get());
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
  slot.Free();
}

TEST(ThreadLocalSlotTest, DestructorRunsAtThreadExitWithThreadValue) {
  ThreadLocalSlot slot;
  slot.Initialize(&CountingDestructor);
  g_destructor_calls = 0;
  std::atomic<int> counters[4] = {};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&slot, &counters, i] {
      // Thread 3 stores a value and clears it again: no destructor call for it.
      slot.Set(&counters[i]);
      if (i == 3)
        slot.Set(nullptr);
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(1, counters[0]);
  EXPECT_EQ(1, counters[1]);
  EXPECT_EQ(1, counters[2]);
  EXPECT_EQ(0, counters[3]);
  EXPECT_EQ(3, g_destructor_calls);
  slot.Free();
}

// A destructor that stores a new value makes another round run, within bounds.
ThreadLocalSlot g_resetting_slot;
std::atomic<int> g_resetting_calls{0};
void ResettingDestructor(void* value) {
  ++g_resetting_calls;
  g_resetting_slot.Set(value);  // Forever: the rounds must stop on their own.
}

TEST(ThreadLocalSlotTest, DestructorRoundsAreBounded) {
  g_resetting_calls = 0;
  g_resetting_slot.Initialize(&ResettingDestructor);
  int value = 0;
  std::thread([&] { g_resetting_slot.Set(&value); }).join();
  EXPECT_GT(g_resetting_calls, 1);
  EXPECT_LE(g_resetting_calls, 10);
  g_resetting_slot.Free();
}

TEST(ThreadLocalSlotTest, FreedSlotValuesAreInvisibleAfterReuse) {
  // Most slots are reserved, used by one thread and freed; reserving as many again reuses
  // those indices (the search goes round the table) with new versions: the thread's old
  // values must read as null, and their destructor must not run when the thread ends.
  constexpr int kCount = 200;  // Leaves room for slots held by other code.
  std::vector<ThreadLocalSlot> old_slots(kCount);
  std::vector<ThreadLocalSlot> new_slots(kCount);
  g_destructor_calls = 0;
  std::atomic<int> counter{0};
  int stale_reads = 0;
  std::thread([&] {
    for (ThreadLocalSlot& slot : old_slots) {
      slot.Initialize(&CountingDestructor);
      slot.Set(&counter);
    }
    for (ThreadLocalSlot& slot : old_slots)
      slot.Free();
    for (ThreadLocalSlot& slot : new_slots) {
      slot.Initialize(&CountingDestructor);
      if (slot.Get())
        ++stale_reads;
    }
  }).join();
  EXPECT_EQ(0, stale_reads);
  EXPECT_EQ(0, g_destructor_calls);
  for (ThreadLocalSlot& slot : new_slots)
    slot.Free();
}

LazyThreadLocalSlot g_lazy_slot;

TEST(ThreadLocalSlotTest, LazySlotIsReservedOnceAcrossThreads) {
  std::vector<std::thread> threads;
  std::atomic<ThreadLocalSlot*> seen[8] = {};
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&seen, i] { seen[i] = &g_lazy_slot.Get(); });
  for (std::thread& thread : threads)
    thread.join();
  for (auto& slot : seen)
    EXPECT_EQ(&g_lazy_slot.Get(), slot.load());
  EXPECT_TRUE(g_lazy_slot.Get().initialized());
}

}  // namespace
}  // namespace base
