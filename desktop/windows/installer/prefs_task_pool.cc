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

constinit PrefsTaskPool PrefsTaskPool::instance_;

// static
PrefsTaskPool* PrefsTaskPool::GetInstance() {
  return GetPrefsTaskPool();
}

void PrefsTaskPool::SetWaitAtShutdown(bool wait) {
  base::AutoLock lock(lock_);
  wait_at_shutdown_ = wait;
}

bool PrefsTaskPool::wait_at_shutdown() const {
  base::AutoLock lock(lock_);
  return wait_at_shutdown_;
}

base::scoped_refptr<PrefsPoolOwner> PrefsTaskPool::owner() {
  base::AutoLock lock(lock_);
  if (!owner_) {
    owner_ = new PrefsPoolOwner;
    owner_->AddRef();
    base::ExitCallbackRegistry::RegisterCallback(&PrefsTaskPool::OnExit, this);
  }
  return base::scoped_refptr<PrefsPoolOwner>(owner_);
}

// static
void PrefsTaskPool::OnExit(void* holder_pointer) {
  PrefsTaskPool* holder = static_cast<PrefsTaskPool*>(holder_pointer);
  base::scoped_refptr<PrefsPoolOwner> owner;
  bool wait = false;
  {
    // Unpublished first: from here on stores are opened on a new pool.
    base::AutoLock lock(holder->lock_);
    owner = base::scoped_refptr<PrefsPoolOwner>(holder->owner_);
    holder->owner_->Release();
    holder->owner_ = nullptr;
    wait = std::exchange(holder->wait_at_shutdown_, false);
  }
  owner->pool()->Shutdown();
  if (wait) {
    while (!owner->HasOneRef())
      ::Sleep(kStoreWaitStepMs);
  }
}

PrefsTaskPool* GetPrefsTaskPool() {
  PrefsTaskPool* holder = &PrefsTaskPool::instance_;
  holder->owner();
  return holder;
}

base::scoped_refptr<JsonPrefStore> LoadJsonPrefStore(PrefsTaskPool* holder,
                                                     const base::FilePath& path) {
  base::scoped_refptr<JsonPrefStore> store =
      base::MakeRefCounted<PoolJsonPrefStore>(holder->owner(), path);
  store->ReadPrefs();
  return store;
}

base::scoped_refptr<JsonPrefStore> LoadReadOnlyJsonPrefStore(PrefsTaskPool* holder,
                                                             const base::FilePath& path) {
  base::scoped_refptr<JsonPrefStore> store =
      base::MakeRefCounted<PoolJsonPrefStore>(holder->owner(), path);
  store->ReadPrefsWithoutChanges();
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
