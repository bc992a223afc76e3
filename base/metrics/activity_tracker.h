#ifndef BASE_METRICS_ACTIVITY_TRACKER_H_
#define BASE_METRICS_ACTIVITY_TRACKER_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <memory>
#include <vector>

#include "base/metrics/persistent_memory_allocator.h"
#include "base/metrics/thread_tracker.h"
#include "base/synchronization/lock.h"
#include "base/threading/thread_local_slot.h"

// The activity tracker keeps, for every thread, a stack of what the thread is doing right
// now (running a task, acquiring a lock, waiting) in a persistent segment that another
// process can read after a hang or crash. The base library and the task runtime call its
// hooks throughout; no code of this program creates the registry, so every hook only tests
// one process-wide pointer and records nothing.

namespace base {

class Lock;
class Process;
class WaitEvent;
struct PendingTask;

// One activity of the calling thread: pushed by the named constructors below, popped by
// the destructor. Hold it in a local for the duration of the activity:
//   ScopedActivity activity = ScopedActivity::ForLockAcquire(pc, this);
class ScopedActivity {
 public:
  // |calling_address| is the code address of the site that started the activity (see
  // GetProgramCounter in base/debug/program_counter.h).
  static ScopedActivity ForTaskRun(const void* calling_address, const PendingTask& task);
  // Never creates the thread's tracker: creating one takes locks, whose acquisition comes
  // here again.
  static ScopedActivity ForLockAcquire(const void* calling_address, const Lock* lock);
  static ScopedActivity ForEventWait(const void* calling_address, const WaitEvent* event);
  static ScopedActivity ForThreadJoin(const void* calling_address, void* thread_handle);
  static ScopedActivity ForProcessWait(const void* calling_address, const Process& process);

  ScopedActivity(const ScopedActivity&) = delete;
  ScopedActivity& operator=(const ScopedActivity&) = delete;
  ~ScopedActivity();

 private:
  ScopedActivity() = default;
  // Pushes onto the calling thread's tracker, when the registry exists and the thread has
  // a tracker or, with |may_create_tracker|, gets one.
  static ScopedActivity Push(const void* calling_address,
                             const void* origin_address,
                             ThreadTracker::ActivityType type,
                             uint64_t data,
                             bool may_create_tracker);
  ScopedActivity(ThreadTracker* tracker,
                 const void* calling_address,
                 const void* origin_address,
                 ThreadTracker::ActivityType type,
                 uint64_t data);

  ThreadTracker* tracker_ = nullptr;  // Null: nothing was pushed.
  uint32_t record_index_ = 0;
};

// Hands out fixed-size blocks of one type, reusing released ones: first from a bounded
// cache of this process's releases, then blocks of the free type found in the segment
// (released by any process), then new blocks. Not thread-safe: its owner's lock guards it.
class ActivityTrackerMemoryPool {
 public:
  using Reference = PersistentMemoryAllocator::Reference;

  ActivityTrackerMemoryPool(PersistentMemoryAllocator* allocator,
                            uint32_t active_type,
                            uint32_t free_type,
                            size_t block_size,
                            size_t cache_size);
  ActivityTrackerMemoryPool(const ActivityTrackerMemoryPool&) = delete;
  ActivityTrackerMemoryPool& operator=(const ActivityTrackerMemoryPool&) = delete;
  ~ActivityTrackerMemoryPool();

  // A zeroed block of the active type; 0 when the segment has no room.
  Reference GetObjectReference();
  // Clears the block and gives it the free type.
  void ReleaseObjectReference(Reference ref);

 private:
  PersistentMemoryAllocator* const allocator_;
  const uint32_t active_type_;
  const uint32_t free_type_;
  const size_t block_size_;
  const size_t cache_size_;
  PersistentMemoryAllocator::Iterator iterator_;
  std::vector<Reference> cache_;
};

// The process-wide registry of thread trackers over one persistent segment.
class ActivityTrackerRegistry {
 public:
  static constexpr uint32_t kTypeIdActivityTracker = 0x5D7381B2;
  static constexpr uint32_t kTypeIdActivityTrackerFree = ~kTypeIdActivityTracker;
  static constexpr uint32_t kTypeIdLogMessage = 0x4CF434FA;

  // Installs the process-wide registry over |allocator|, giving each thread a tracker of
  // |memory_size| bytes. For post-mortem tooling and tests: no code of this program calls
  // it. Destroying the registry uninstalls it; only the destroying thread may still hold a
  // tracker then (the trackers of threads that ended were given back already).
  static std::unique_ptr<ActivityTrackerRegistry> Create(
      std::unique_ptr<PersistentMemoryAllocator> allocator,
      size_t memory_size);
  ActivityTrackerRegistry(const ActivityTrackerRegistry&) = delete;
  ActivityTrackerRegistry& operator=(const ActivityTrackerRegistry&) = delete;
  ~ActivityTrackerRegistry();

  // The registry, or null while none exists (always, in this program).
  static ActivityTrackerRegistry* Get();

  // The calling thread's tracker; null when it has none.
  ThreadTracker* GetTrackerForCurrentThread();
  // The same, creating the tracker when missing; null when the segment has no room.
  ThreadTracker* GetOrCreateTrackerForCurrentThread();

  // Keeps the text of a fatal log message in the segment; nothing without a registry. The
  // registry installs it as the log's fatal-message recorder while it exists.
  static void RecordLogMessage(const char* text, size_t length);

  int thread_tracker_count() const { return thread_tracker_count_.load(std::memory_order_relaxed); }
  PersistentMemoryAllocator* allocator() { return allocator_.get(); }

 private:
  class ManagedThreadTracker;

  ActivityTrackerRegistry(std::unique_ptr<PersistentMemoryAllocator> allocator, size_t memory_size);

  ThreadTracker* CreateTrackerForCurrentThread();
  void ReturnTrackerMemory(PersistentMemoryAllocator::Reference ref);
  static void OnThreadExit(void* value);

  std::unique_ptr<PersistentMemoryAllocator> allocator_;
  const size_t memory_size_;
  ThreadLocalSlot this_thread_tracker_;
  std::atomic<int> thread_tracker_count_{0};
  Lock lock_;
  ActivityTrackerMemoryPool memory_pool_;  // Under lock_.
};

}  // namespace base

#endif  // BASE_METRICS_ACTIVITY_TRACKER_H_
