#include "base/lazy_instance.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "base/exit_callback_registry.h"
#include "base/features/feature_registry.h"
#include "base/files/file_path.h"
#include "base/path_registry.h"
#include "base/synchronization/wait_event.h"
#include "base/test/child_test_process.h"
#include "base/threading/thread.h"
#include "base/threading/thread_name_registry.h"
#include "base/time/time.h"
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

// Gives |name| as an override after |release| is signalled, as a reader that takes its time
// (a file, the network) would.
class BlockingFeatureReader : public FeatureReader {
 public:
  BlockingFeatureReader(const char* name, WaitEvent* entered, WaitEvent* release)
      : name_(name), entered_(entered), release_(release) {}

  void ReadOverrides(std::vector<FeatureOverride>* overrides) const override {
    entered_->Signal();
    EXPECT_TRUE(release_->TimedWait(TimeDelta::FromSeconds(10)));
    overrides->push_back(FeatureOverride{name_, true});
  }

 private:
  const char* const name_;
  WaitEvent* const entered_;
  WaitEvent* const release_;
};

// Runs in a process of its own, which, like the installer, makes its exit-callback registry
// before any process-wide object.
TEST(ExitCleanUpChild, DISABLED_ProcessWideObjectsServeThreadsThatOutliveTheCleanUp) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  auto exit_callbacks = std::make_unique<ExitCallbackRegistry>();
  Thread survivor("Survivor");
  ASSERT_TRUE(survivor.Start());
  FeatureRegistry& features = FeatureRegistry::GetInstance();
  features.RegisterFeature("early", true);
  const FilePath override_path(L"C:\\overridden");
  ASSERT_TRUE(PathRegistry::Override(FILE_PREFERENCES, override_path));

  // A thread that nobody joins is in the middle of using the feature registry when the
  // clean-up runs, and finishes after it.
  WaitEvent entered(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  WaitEvent release(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  const BlockingFeatureReader late_reader("late", &entered, &release);
  std::thread straggler([&] { features.ApplyReader(late_reader); });
  EXPECT_TRUE(entered.TimedWait(TimeDelta::FromSeconds(10)));
  exit_callbacks.reset();
  release.Signal();
  straggler.join();

  // Thread names are never dropped; the others were emptied, not destroyed, and what the
  // straggler wrote is there for everyone. A second registry (made before they are used
  // again) cleans up again what is used meanwhile.
  {
    ExitCallbackRegistry next_exit_callbacks;
    EXPECT_EQ("Survivor", ThreadNameRegistry::GetInstance()->GetName(survivor.thread_id()));
    EXPECT_EQ(&features, &FeatureRegistry::GetInstance());
    EXPECT_FALSE(features.IsRegistered("early"));
    EXPECT_TRUE(IsFeatureEnabled("late"));
    FilePath path;
    EXPECT_FALSE(PathRegistry::GetOverride(FILE_PREFERENCES, &path));
    ASSERT_TRUE(PathRegistry::Override(FILE_PREFERENCES, override_path));
  }
  EXPECT_FALSE(IsFeatureEnabled("late"));
  FilePath path;
  EXPECT_FALSE(PathRegistry::GetOverride(FILE_PREFERENCES, &path));
  EXPECT_EQ("Survivor", ThreadNameRegistry::GetInstance()->GetName(survivor.thread_id()));
}

TEST(ExitCleanUpTest, ProcessWideObjectsServeThreadsThatOutliveTheCleanUp) {
  const test::ChildTestResult result = test::RunChildTest(
      "ExitCleanUpChild.DISABLED_ProcessWideObjectsServeThreadsThatOutliveTheCleanUp");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(0u, result.exit_code) << result.output;
}

}  // namespace
}  // namespace base
