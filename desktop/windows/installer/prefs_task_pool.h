#ifndef DESKTOP_WINDOWS_INSTALLER_PREFS_TASK_POOL_H_
#define DESKTOP_WINDOWS_INSTALLER_PREFS_TASK_POOL_H_

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/threading/sequenced_worker_pool.h"
#include "components/prefs/json_pref_store.h"

namespace installer {

// Owns the worker pool on which the preference files do their I/O. The holder keeps one
// reference and every store opened through LoadJsonPrefStore another, so the holder can
// tell when the last store has gone.
class PrefsPoolOwner : public base::RefCountedThreadSafe<PrefsPoolOwner> {
 public:
  PrefsPoolOwner();
  PrefsPoolOwner(const PrefsPoolOwner&) = delete;
  PrefsPoolOwner& operator=(const PrefsPoolOwner&) = delete;

  base::SequencedWorkerPool* pool() const { return pool_.get(); }

 private:
  friend class base::RefCountedThreadSafe<PrefsPoolOwner>;
  ~PrefsPoolOwner();

  const base::scoped_refptr<base::SequencedWorkerPool> pool_;
};

// The process-wide holder of the preference worker pool ("PrefsTaskPool" threads, at most
// two). The pool is made on first use and torn down by the exit-callback registry: first
// unpublished, so that a store opened from then on gets a new pool (torn down by the
// registry in turn) rather than the dying one, then shut down (pending file writes still
// run) and, when asked to, the tear-down waits until every store of the old pool has been
// released. The holder itself is constant-initialised and never destroyed, so a pointer to
// it taken before a tear-down stays good; the pool is only reached through owner(), which
// hands out a reference under the holder's lock.
class PrefsTaskPool {
 public:
  PrefsTaskPool(const PrefsTaskPool&) = delete;
  PrefsTaskPool& operator=(const PrefsTaskPool&) = delete;

  // The same holder as GetPrefsTaskPool.
  static PrefsTaskPool* GetInstance();

  // Whether the tear-down of the current pool waits for its stores still open. A new pool
  // starts without.
  void SetWaitAtShutdown(bool wait);
  bool wait_at_shutdown() const;

  // The owner of the current pool, made when there is none.
  base::scoped_refptr<PrefsPoolOwner> owner();

 private:
  friend PrefsTaskPool* GetPrefsTaskPool();

  constexpr PrefsTaskPool() = default;

  // The exit callback of one pool; |holder| is the PrefsTaskPool.
  static void OnExit(void* holder);

  static PrefsTaskPool instance_;

  mutable base::Lock lock_;
  bool wait_at_shutdown_ = false;      // Under |lock_|.
  PrefsPoolOwner* owner_ = nullptr;    // One reference, given back by OnExit; under |lock_|.
};

// The process-wide holder; its pool is made when there is none.
PrefsTaskPool* GetPrefsTaskPool();

// A store for the preference file |path| whose file I/O runs on |holder|'s pool, in the
// file's own sequence; the file is read before the store is returned. The store keeps the
// pool's owner alive as long as it lives.
base::scoped_refptr<JsonPrefStore> LoadJsonPrefStore(PrefsTaskPool* holder,
                                                     const base::FilePath& path);

// The same for a file that is only looked at: it is read without any change on disk (a
// corrupt file stays where it is) and the store never writes it.
base::scoped_refptr<JsonPrefStore> LoadReadOnlyJsonPrefStore(PrefsTaskPool* holder,
                                                             const base::FilePath& path);

// Waits until the writes already handed to the file sequence of |path| in |holder|'s pool
// are done, at most |max_wait|: code that opens the file then reads what was written.
// False when they could not be waited for.
bool WaitForPendingWrites(PrefsTaskPool* holder,
                          const base::FilePath& path,
                          base::TimeDelta max_wait);

// How long the installer waits for a preference file it depends on to be written.
constexpr base::TimeDelta kPrefsWriteWait = base::TimeDelta::FromSeconds(60);

// Hands |store|'s pending write (the store made through LoadJsonPrefStore with |holder|) to
// its file's sequence and waits for it as WaitForPendingWrites does. Whether the file now
// holds the store's values: false, logged, for a store that cannot write (its file could
// not be read), a write that failed or a wait that gave up.
bool CommitPendingWriteAndWait(PrefsTaskPool* holder,
                               JsonPrefStore* store,
                               base::TimeDelta max_wait);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PREFS_TASK_POOL_H_
