#include "base/synchronization/lock.h"

#include <atomic>
#include <thread>
#include <vector>

#include "base/synchronization/condition_variable.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(LockTest, MutualExclusionUnderContention) {
  Lock lock;
  // A non-atomic read-modify-write with a yield inside: lost updates show a broken lock.
  int counter = 0;
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        AutoLock auto_lock(lock);
        if (inside.fetch_add(1) != 0)
          ++overlaps;
        const int value = counter;
        if (i % 64 == 0)
          std::this_thread::yield();
        counter = value + 1;
        inside.fetch_sub(1);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(8 * 2000, counter);
  EXPECT_EQ(0, overlaps);
}

TEST(LockTest, TryAndAutoUnlock) {
  Lock lock;
  ASSERT_TRUE(lock.Try());
  bool other_got_it = true;
  std::thread([&] { other_got_it = lock.Try(); }).join();
  EXPECT_FALSE(other_got_it);
  lock.AssertAcquired();
  {
    AutoUnlock unlock(lock);
    std::thread([&] {
      other_got_it = lock.Try();
      if (other_got_it)
        lock.Release();
    }).join();
  }
  EXPECT_TRUE(other_got_it);
  lock.AssertAcquired();
  lock.Release();
}

TEST(ConditionVariableTest, WaitAndSignal) {
  Lock lock;
  ConditionVariable condition(&lock);
  bool ready = false;
  std::thread producer([&] {
    AutoLock auto_lock(lock);
    ready = true;
    condition.Signal();
  });
  {
    AutoLock auto_lock(lock);
    while (!ready)
      condition.Wait();
    lock.AssertAcquired();
    EXPECT_FALSE(condition.TimedWait(10));  // Nobody signals: times out holding the lock.
    lock.AssertAcquired();
  }
  producer.join();
}

}  // namespace
}  // namespace base
