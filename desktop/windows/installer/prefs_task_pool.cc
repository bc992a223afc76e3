#include "desktop/windows/installer/prefs_task_pool.h"

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/exit_callback_registry.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/synchronization/wait_event.h"

namespace installer {

namespace {

// The states of the holder pointer besides the holder itself.
constexpr uintptr_t kNoHolder = 0;
constexpr uintptr_t kHolderBeingCreated = 1;

std::atomic<uintptr_t> g_holder{kNoHolder};

constexpr size_t kMaxPoolThreads = 2;
constexpr char kPoolThreadNamePrefix[] = "PrefsTaskPool";
// How often the tear-down looks whether the stores are gone.
constexpr DWORD kStoreWaitStepMs = 100;

// A base of PoolJsonPrefStore listed before the store, so that it is destroyed after it:
// the owner counts the store as gone only once its last write has been handed over.
struct PoolOwnerReference {
  explicit PoolOwnerReference(base::scoped_refptr<PrefsPoolOwner> pool_owner)
      : owner(std::move(pool_owner)) {}
  base::scoped_refptr<PrefsPoolOwner> owner;
};

// A preference store that keeps the pool it writes on alive.
class PoolJsonPrefStore : private PoolOwnerReference, public JsonPrefStore {
 public:
  PoolJsonPrefStore(base::scoped_refptr<PrefsPoolOwner> pool_owner, const base::FilePath& path)
      : PoolOwnerReference(std::move(pool_owner)),
        JsonPrefStore(path, JsonPrefStore::GetTaskRunnerForFile(path, owner->pool())) {}

 private:
  ~PoolJsonPrefStore() override = default;
};

}  // namespace

PrefsPoolOwner::PrefsPoolOwner()
    : pool_(base::MakeRefCounted<base::SequencedWorkerPool>(kMaxPoolThreads,
                                                            kPoolThreadNamePrefix)) {}

PrefsPoolOwner::~PrefsPoolOwner() = default;

PrefsTaskPool::PrefsTaskPool() : owner_(base::MakeRefCounted<PrefsPoolOwner>()) {}

PrefsTaskPool::~PrefsTaskPool() {
  // A getter must never receive a holder that is being freed.
  CHECK(g_holder.load(std::memory_order_acquire) != reinterpret_cast<uintptr_t>(this))
      << "the preference pool holder is freed while it is still handed out";
}

// static
PrefsTaskPool* PrefsTaskPool::GetInstance() {
  return GetPrefsTaskPool();
}

// static
void PrefsTaskPool::OnExit(void* holder_pointer) {
  PrefsTaskPool* holder = static_cast<PrefsTaskPool*>(holder_pointer);
  holder->owner_->pool()->Shutdown();
  if (holder->wait_at_shutdown()) {
    while (!holder->owner_->HasOneRef())
      ::Sleep(kStoreWaitStepMs);
  }
  // Unpublished first: from here on getters make a new holder instead of receiving this one.
  g_holder.store(kNoHolder, std::memory_order_release);
  delete holder;
}

PrefsTaskPool* GetPrefsTaskPool() {
  uintptr_t current = kNoHolder;
  if (g_holder.compare_exchange_strong(current, kHolderBeingCreated,
                                       std::memory_order_acq_rel)) {
    PrefsTaskPool* holder = new PrefsTaskPool;
    g_holder.store(reinterpret_cast<uintptr_t>(holder), std::memory_order_release);
    base::ExitCallbackRegistry::RegisterCallback(&PrefsTaskPool::OnExit, holder);
    return holder;
  }
  // Another thread is making it: it takes a moment only.
  while (current == kHolderBeingCreated) {
    ::Sleep(0);
    current = g_holder.load(std::memory_order_acquire);
  }
  return reinterpret_cast<PrefsTaskPool*>(current);
}

base::scoped_refptr<JsonPrefStore> LoadJsonPrefStore(PrefsTaskPool* holder,
                                                     const base::FilePath& path) {
  base::scoped_refptr<JsonPrefStore> store =
      base::MakeRefCounted<PoolJsonPrefStore>(holder->owner(), path);
  store->ReadPrefs();
  return store;
}

bool WaitForPendingWrites(PrefsTaskPool* holder,
                          const base::FilePath& path,
                          base::TimeDelta max_wait) {
  // Shared with the task, which may run after a wait that gave up.
  auto written = std::make_shared<base::WaitEvent>(base::WaitEvent::ResetPolicy::MANUAL,
                                                   base::WaitEvent::InitialState::NOT_SIGNALED);
  const bool posted =
      JsonPrefStore::GetTaskRunnerForFile(path, holder->owner()->pool())
          ->PostTask(FROM_HERE, base::BindLambda([written] { written->Signal(); }));
  if (!posted) {
    LOG(ERROR) << "Cannot wait for the writes of " << path << ": its pool has stopped";
    return false;
  }
  if (!written->TimedWait(max_wait)) {
    LOG(ERROR) << "The writes of " << path << " did not finish in time";
    return false;
  }
  return true;
}

bool CommitPendingWriteAndWait(PrefsTaskPool* holder,
                               JsonPrefStore* store,
                               base::TimeDelta max_wait) {
  if (store->ReadOnly()) {
    LOG(ERROR) << "The preferences of " << store->path()
               << " cannot be written: the file could not be read";
    return false;
  }
  store->CommitPendingWrite();
  if (!WaitForPendingWrites(holder, store->path(), max_wait))
    return false;
  if (!store->LastWriteSucceeded()) {
    LOG(ERROR) << "Writing the preferences of " << store->path() << " failed";
    return false;
  }
  return true;
}

}  // namespace installer
