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

// Each test has its own exit-callback registry, which tears the holder down again.

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

}  // namespace
}  // namespace installer
