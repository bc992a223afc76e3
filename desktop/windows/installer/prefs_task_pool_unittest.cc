#include "desktop/windows/installer/prefs_task_pool.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/exit_callback_registry.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/thread.h"
#include "base/threading/thread_name_registry.h"
#include "base/time/time.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Each test has its own exit-callback registry, which tears the pool down again.

constexpr base::TimeDelta kWriteWait = base::TimeDelta::FromSeconds(30);

// Opens the preference file |path| through |holder|, writes a value and waits for the write.
bool WriteThrough(PrefsTaskPool* holder, const base::FilePath& path) {
  base::scoped_refptr<JsonPrefStore> store = LoadJsonPrefStore(holder, path);
  store->SetValue("written", std::make_unique<base::StringValue>("through the pool"),
                  JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  return CommitPendingWriteAndWait(holder, store.get(), kWriteWait);
}

bool HoldsWrite(const base::FilePath& path) {
  std::string text;
  return base::ReadFileToString(path, &text) &&
         text.find("through the pool") != std::string::npos;
}

TEST(PrefsTaskPoolTest, OneHolderForAllThreadsWithNamedPoolThreads) {
  base::ExitCallbackRegistry exit_callbacks;
  constexpr int kThreads = 8;
  base::WaitEvent go(base::WaitEvent::ResetPolicy::MANUAL,
                     base::WaitEvent::InitialState::NOT_SIGNALED);
  std::vector<std::unique_ptr<base::Thread>> threads;
  PrefsTaskPool* holders[kThreads] = {};
  for (int i = 0; i < kThreads; ++i) {
    threads.push_back(std::make_unique<base::Thread>("PrefsTaskPoolGetter"));
    ASSERT_TRUE(threads.back()->Start());
    threads.back()->GetTaskRunner()->PostTask(FROM_HERE, base::BindLambda([&go, &holders, i]() {
      go.Wait();
      holders[i] = GetPrefsTaskPool();
    }));
  }
  go.Signal();
  for (auto& thread : threads)
    thread->Stop();
  ASSERT_NE(nullptr, holders[0]);
  for (PrefsTaskPool* holder : holders)
    EXPECT_EQ(holders[0], holder);
  EXPECT_EQ(holders[0], PrefsTaskPool::GetInstance());
  EXPECT_FALSE(holders[0]->wait_at_shutdown());

  std::string thread_name;
  base::WaitEvent ran(base::WaitEvent::ResetPolicy::MANUAL,
                      base::WaitEvent::InitialState::NOT_SIGNALED);
  holders[0]->owner()->pool()->PostWorkerTask(FROM_HERE, base::BindLambda([&]() {
    thread_name = base::ThreadNameRegistry::GetInstance()->GetName(::GetCurrentThreadId());
    ran.Signal();
  }));
  ran.Wait();
  EXPECT_EQ(0u, thread_name.find("PrefsTaskPool")) << thread_name;
}

TEST(PrefsTaskPoolTest, ExitWaitsUntilTheLastStoreIsReleased) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath path = temp.GetPath().Append(L"installer_prefs.json");
  const std::string json = "{\"installer-experiments\": [\"installer-experiment-test@1\"]}";
  ASSERT_EQ(static_cast<int>(json.size()),
            base::WriteFileFromBuffer(path, json.data(), static_cast<int>(json.size())));

  // Outlives the registry, whose end waits for this thread to release the store.
  base::Thread releaser("PrefsStoreReleaser");
  ASSERT_TRUE(releaser.Start());
  std::atomic<bool> released{false};
  {
    base::ExitCallbackRegistry exit_callbacks;
    PrefsTaskPool* holder = GetPrefsTaskPool();
    holder->SetWaitAtShutdown(true);
    base::scoped_refptr<JsonPrefStore> store = LoadJsonPrefStore(holder, path);
    ASSERT_TRUE(store->IsInitializationComplete());
    const base::Value* experiments = nullptr;
    ASSERT_TRUE(store->GetValue("installer-experiments", &experiments));
    EXPECT_TRUE(experiments->IsType(base::Value::TYPE_LIST));
    store->SetValue("written", std::make_unique<base::StringValue>("by the pool"),
                    JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);

    releaser.GetTaskRunner()->PostDelayedTask(
        FROM_HERE, base::BindLambda([store, &released]() mutable {
          released = true;
          store.reset();
        }),
        base::TimeDelta::FromMilliseconds(300));
  }
  EXPECT_TRUE(released);
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(path, &text));
  EXPECT_NE(std::string::npos, text.find("by the pool"));

  // The holder went with the registry: the next one is new.
  base::ExitCallbackRegistry exit_callbacks;
  EXPECT_FALSE(GetPrefsTaskPool()->wait_at_shutdown());
}

// A store opened while the pool is torn down, through the getter or through the holder
// taken before, is opened on a new pool and keeps its writes; the holder taken before
// still serves once the tear-down is over.
TEST(PrefsTaskPoolTest, StoresOpenedDuringAndAfterTheTearDownKeepTheirWrites) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath through_getter = temp.GetPath().Append(L"getter.json");
  const base::FilePath through_early_holder = temp.GetPath().Append(L"early.json");
  const base::FilePath after = temp.GetPath().Append(L"after.json");

  base::Thread writer("PrefsLateWriter");
  ASSERT_TRUE(writer.Start());
  PrefsTaskPool* early_holder = nullptr;
  bool dying_pool_stopped = false;
  bool getter_written = false;
  bool early_holder_written = false;
  {
    base::ExitCallbackRegistry exit_callbacks;
    early_holder = GetPrefsTaskPool();
    early_holder->SetWaitAtShutdown(true);
    const base::scoped_refptr<base::SequencedWorkerPool> dying_pool =
        early_holder->owner()->pool();
    // The tear-down waits for this store, which the writer lets go last.
    base::scoped_refptr<JsonPrefStore> held =
        LoadJsonPrefStore(early_holder, temp.GetPath().Append(L"held.json"));
    writer.GetTaskRunner()->PostTask(FROM_HERE, base::BindLambda([&, dying_pool, held]() mutable {
      // Until the tear-down has stopped the pool.
      const base::TimeTicks deadline = base::TimeTicks::Now() + kWriteWait;
      auto stopped = [&dying_pool] {
        return !dying_pool->PostWorkerTask(FROM_HERE, base::BindLambda([] {}));
      };
      while (!stopped() && base::TimeTicks::Now() < deadline)
        ::Sleep(1);
      dying_pool_stopped = stopped();
      getter_written = WriteThrough(GetPrefsTaskPool(), through_getter);
      early_holder_written = WriteThrough(early_holder, through_early_holder);
      held.reset();
    }));
  }
  writer.Stop();
  EXPECT_TRUE(dying_pool_stopped);
  EXPECT_TRUE(getter_written);
  EXPECT_TRUE(early_holder_written);
  EXPECT_TRUE(HoldsWrite(through_getter));
  EXPECT_TRUE(HoldsWrite(through_early_holder));

  base::ExitCallbackRegistry exit_callbacks;
  EXPECT_TRUE(WriteThrough(early_holder, after));
  EXPECT_TRUE(HoldsWrite(after));
}

}  // namespace
}  // namespace installer
