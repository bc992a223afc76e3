#include "base/lazy_instance.h"

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/exit_callback_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::vector<int>* g_exit_order = nullptr;

void RecordExit(void* argument) {
  g_exit_order->push_back(static_cast<int>(reinterpret_cast<intptr_t>(argument)));
}

void RegisterAnotherFromCallback(void*) {
  g_exit_order->push_back(99);
  ExitCallbackRegistry::RegisterCallback(&RecordExit, reinterpret_cast<void*>(100));
}

TEST(ExitCallbackRegistryTest, RunsLastRegisteredFirst) {
  std::vector<int> order;
  g_exit_order = &order;
  {
    ExitCallbackRegistry registry;
    for (intptr_t i = 1; i <= 3; ++i)
      ExitCallbackRegistry::RegisterCallback(&RecordExit, reinterpret_cast<void*>(i));
    ExitCallbackRegistry::RegisterCallback(&RegisterAnotherFromCallback, nullptr);
    EXPECT_TRUE(order.empty());
  }
  // A callback registered while the registry runs its callbacks runs too.
  EXPECT_EQ((std::vector<int>{99, 100, 3, 2, 1}), order);

  // Without a registry the callback is dropped.
  order.clear();
  ExitCallbackRegistry::RegisterCallback(&RecordExit, reinterpret_cast<void*>(7));
  { ExitCallbackRegistry registry; }
  EXPECT_TRUE(order.empty());
  g_exit_order = nullptr;
}

std::atomic<int> g_constructed{0};
std::atomic<int> g_destroyed{0};

class SlowToBuild {
 public:
  SlowToBuild() {
    ++g_constructed;
    ::Sleep(20);  // Lets the other threads pile up behind the creator.
    ready = true;
  }
  ~SlowToBuild() { ++g_destroyed; }
  bool ready = false;
};

LazyInstance<SlowToBuild> g_slow;

TEST(LazyInstanceTest, CreatedOnceFromManyThreadsAndDestroyedByRegistry) {
  g_constructed = 0;
  g_destroyed = 0;
  {
    ExitCallbackRegistry registry;
    EXPECT_FALSE(g_slow.IsCreated());
    std::atomic<bool> go{false};
    std::atomic<int> not_ready{0};
    std::vector<SlowToBuild*> seen(16);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
      threads.emplace_back([&, i] {
        while (!go)
          std::this_thread::yield();
        seen[i] = g_slow.Pointer();
        if (!seen[i]->ready)
          ++not_ready;
      });
    }
    go = true;
    for (std::thread& thread : threads)
      thread.join();
    EXPECT_EQ(1, g_constructed);
    EXPECT_EQ(0, not_ready);
    for (SlowToBuild* instance : seen)
      EXPECT_EQ(seen[0], instance);
    EXPECT_TRUE(g_slow.IsCreated());
  }
  EXPECT_EQ(1, g_destroyed);
  EXPECT_FALSE(g_slow.IsCreated());

  // Created again after the registry destroyed it.
  {
    ExitCallbackRegistry registry;
    EXPECT_TRUE(g_slow.Get().ready);
  }
  EXPECT_EQ(2, g_constructed);
  EXPECT_EQ(2, g_destroyed);
}

LazyInstance<SlowToBuild>::Leaky g_leaky;

TEST(LazyInstanceTest, LeakyIsNeverDestroyed) {
  g_destroyed = 0;
  {
    ExitCallbackRegistry registry;
    EXPECT_TRUE(g_leaky.Get().ready);
  }
  EXPECT_EQ(0, g_destroyed);
  EXPECT_TRUE(g_leaky.IsCreated());
}

}  // namespace
}  // namespace base
