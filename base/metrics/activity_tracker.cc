#include "base/metrics/activity_tracker.h"

#include <windows.h>
#include <string.h>

#include <utility>

#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/pending_task.h"
#include "base/process/process.h"

namespace base {

namespace {

std::atomic<ActivityTrackerRegistry*> g_registry{nullptr};

// Released tracker memory kept at hand for the next thread.
constexpr size_t kCachedTrackerMemories = 10;

// Keeps the thread's last error: hooks run right before waits whose failure is logged.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : error_(::GetLastError()) {}
  ~LastErrorKeeper() { ::SetLastError(error_); }

 private:
  const DWORD error_;
};

}  // namespace

// A thread's tracker with the block it lives in, given back when the thread ends.
class ActivityTrackerRegistry::ManagedThreadTracker {
 public:
  ManagedThreadTracker(ActivityTrackerRegistry* registry,
                       PersistentMemoryAllocator::Reference ref,
                       void* memory,
                       size_t size)
      : registry_(registry), ref_(ref), tracker_(memory, size) {}
  ManagedThreadTracker(const ManagedThreadTracker&) = delete;
  ManagedThreadTracker& operator=(const ManagedThreadTracker&) = delete;
  ~ManagedThreadTracker() { registry_->ReturnTrackerMemory(ref_); }

  ThreadTracker* tracker() { return &tracker_; }

 private:
  ActivityTrackerRegistry* const registry_;
  const PersistentMemoryAllocator::Reference ref_;
  ThreadTracker tracker_;
};

ScopedActivity::ScopedActivity(ThreadTracker* tracker,
                               const void* calling_address,
                               const void* origin_address,
                               ThreadTracker::ActivityType type,
                               uint64_t data)
    : tracker_(tracker),
      record_index_(tracker->PushActivity(calling_address, origin_address, type, data)) {}

ScopedActivity::~ScopedActivity() {
  if (tracker_)
    tracker_->PopActivity(record_index_);
}

// static
ScopedActivity ScopedActivity::Push(const void* calling_address,
                                    const void* origin_address,
                                    ThreadTracker::ActivityType type,
                                    uint64_t data,
                                    bool may_create_tracker) {
  ActivityTrackerRegistry* registry = ActivityTrackerRegistry::Get();
  if (!registry)
    return ScopedActivity();
  ThreadTracker* tracker = may_create_tracker ? registry->GetOrCreateTrackerForCurrentThread()
                                              : registry->GetTrackerForCurrentThread();
  if (!tracker)
    return ScopedActivity();
  return ScopedActivity(tracker, calling_address, origin_address, type, data);
}

// static
ScopedActivity ScopedActivity::ForTaskRun(const void* calling_address, const PendingTask& task) {
  return Push(calling_address, task.posted_from.program_counter(), ThreadTracker::kTaskRun,
              static_cast<uint32_t>(task.sequence_num), true);
}

// static
ScopedActivity ScopedActivity::ForLockAcquire(const void* calling_address, const Lock* lock) {
  return Push(calling_address, nullptr, ThreadTracker::kLockAcquire,
              reinterpret_cast<uintptr_t>(lock), false);
}

// static
ScopedActivity ScopedActivity::ForEventWait(const void* calling_address, const WaitEvent* event) {
  return Push(calling_address, nullptr, ThreadTracker::kEventWait,
              reinterpret_cast<uintptr_t>(event), true);
}

// static
ScopedActivity ScopedActivity::ForThreadJoin(const void* calling_address, void* thread_handle) {
  DWORD thread_id = 0;
  {
    LastErrorKeeper keep_last_error;
    thread_id = ::GetThreadId(thread_handle);
  }
  return Push(calling_address, nullptr, ThreadTracker::kThreadJoin, thread_id, true);
}

// static
ScopedActivity ScopedActivity::ForProcessWait(const void* calling_address, const Process& process) {
  DWORD process_id = 0;
  {
    LastErrorKeeper keep_last_error;
    process_id = process.Handle() == ::GetCurrentProcess() ? ::GetCurrentProcessId()
                                                           : ::GetProcessId(process.Handle());
  }
  return Push(calling_address, nullptr, ThreadTracker::kProcessWait, process_id, true);
}

ActivityTrackerMemoryPool::ActivityTrackerMemoryPool(PersistentMemoryAllocator* allocator,
                                                     uint32_t active_type,
                                                     uint32_t free_type,
                                                     size_t block_size,
                                                     size_t cache_size)
    : allocator_(allocator),
      active_type_(active_type),
      free_type_(free_type),
      block_size_(block_size),
      cache_size_(cache_size),
      iterator_(allocator) {}

ActivityTrackerMemoryPool::~ActivityTrackerMemoryPool() = default;

ActivityTrackerMemoryPool::Reference ActivityTrackerMemoryPool::GetObjectReference() {
  while (!cache_.empty()) {
    const Reference ref = cache_.back();
    cache_.pop_back();
    if (allocator_->ChangeType(ref, active_type_, free_type_))
      return ref;
  }
  // Blocks released by any process sharing the segment; another may take one first.
  for (Reference ref = iterator_.GetNextOfType(free_type_); ref;
       ref = iterator_.GetNextOfType(free_type_)) {
    if (allocator_->ChangeType(ref, active_type_, free_type_))
      return ref;
  }
  const Reference ref = allocator_->Allocate(block_size_, active_type_);
  if (ref)
    allocator_->MakeIterable(ref);
  return ref;
}

void ActivityTrackerMemoryPool::ReleaseObjectReference(Reference ref) {
  void* memory = allocator_->GetBlockData(ref, active_type_, block_size_);
  if (!memory)
    return;
  memset(memory, 0, block_size_);
  if (!allocator_->ChangeType(ref, free_type_, active_type_))
    return;
  if (cache_.size() < cache_size_)
    cache_.push_back(ref);
}

// static
std::unique_ptr<ActivityTrackerRegistry> ActivityTrackerRegistry::Create(
    std::unique_ptr<PersistentMemoryAllocator> allocator,
    size_t memory_size) {
  std::unique_ptr<ActivityTrackerRegistry> registry(
      new ActivityTrackerRegistry(std::move(allocator), memory_size));
  ActivityTrackerRegistry* expected = nullptr;
  CHECK(g_registry.compare_exchange_strong(expected, registry.get(), std::memory_order_acq_rel))
      << "a second activity tracker registry";
  logging::SetFatalMessageRecorder(&RecordLogMessage);
  return registry;
}

ActivityTrackerRegistry::ActivityTrackerRegistry(
    std::unique_ptr<PersistentMemoryAllocator> allocator,
    size_t memory_size)
    : allocator_(std::move(allocator)),
      memory_size_(memory_size),
      memory_pool_(allocator_.get(),
                   kTypeIdActivityTracker,
                   kTypeIdActivityTrackerFree,
                   memory_size,
                   kCachedTrackerMemories) {
  this_thread_tracker_.Initialize(&ActivityTrackerRegistry::OnThreadExit);
}

ActivityTrackerRegistry::~ActivityTrackerRegistry() {
  logging::SetFatalMessageRecorder(nullptr);
  g_registry.store(nullptr, std::memory_order_release);
  delete static_cast<ManagedThreadTracker*>(this_thread_tracker_.Get());
  this_thread_tracker_.Set(nullptr);
  this_thread_tracker_.Free();
}

// static
ActivityTrackerRegistry* ActivityTrackerRegistry::Get() {
  return g_registry.load(std::memory_order_acquire);
}

ThreadTracker* ActivityTrackerRegistry::GetTrackerForCurrentThread() {
  ManagedThreadTracker* managed = static_cast<ManagedThreadTracker*>(this_thread_tracker_.Get());
  return managed ? managed->tracker() : nullptr;
}

ThreadTracker* ActivityTrackerRegistry::GetOrCreateTrackerForCurrentThread() {
  if (ThreadTracker* tracker = GetTrackerForCurrentThread())
    return tracker;
  return CreateTrackerForCurrentThread();
}

ThreadTracker* ActivityTrackerRegistry::CreateTrackerForCurrentThread() {
  if (memory_size_ < ThreadTracker::kMinimumMemorySize)
    return nullptr;
  AutoLock lock(lock_);
  const PersistentMemoryAllocator::Reference ref = memory_pool_.GetObjectReference();
  void* memory = allocator_->GetBlockData(ref, kTypeIdActivityTracker, memory_size_);
  if (!memory) {
    static HistogramBase* const memory_limit_histogram =
        Histogram::FactoryCountsGet("ActivityTracker.ThreadTrackers.MemLimitTrackerCount", 1000);
    memory_limit_histogram->Add(thread_tracker_count());
    return nullptr;
  }
  ManagedThreadTracker* managed = new ManagedThreadTracker(this, ref, memory, memory_size_);
  this_thread_tracker_.Set(managed);
  const int count = thread_tracker_count_.fetch_add(1, std::memory_order_relaxed) + 1;
  static HistogramBase* const count_histogram =
      LinearHistogram::FactoryGet("ActivityTracker.ThreadTrackers.Count", 100, 101);
  count_histogram->Add(count);
  return managed->tracker();
}

void ActivityTrackerRegistry::ReturnTrackerMemory(PersistentMemoryAllocator::Reference ref) {
  thread_tracker_count_.fetch_sub(1, std::memory_order_relaxed);
  AutoLock lock(lock_);
  memory_pool_.ReleaseObjectReference(ref);
}

// static
void ActivityTrackerRegistry::OnThreadExit(void* value) {
  delete static_cast<ManagedThreadTracker*>(value);
}

// static
void ActivityTrackerRegistry::RecordLogMessage(const char* text, size_t length) {
  ActivityTrackerRegistry* registry = Get();
  if (!registry)
    return;
  PersistentMemoryAllocator* allocator = registry->allocator();
  const PersistentMemoryAllocator::Reference ref =
      allocator->Allocate(length + 1, kTypeIdLogMessage);
  char* memory = static_cast<char*>(allocator->GetBlockData(ref, kTypeIdLogMessage, length + 1));
  if (!memory)
    return;
  memcpy(memory, text, length);
  memory[length] = '\0';
  allocator->MakeIterable(ref);
}

}  // namespace base
