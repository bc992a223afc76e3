#include "base/threading/thread_local_slot.h"

#include <windows.h>

#include "base/lazy_instance.h"
#include "base/logging.h"

// Every thread has one array of 256 {value, version} entries, found through one Win32 TLS
// index. The same array is stored in a fiber-local slot whose callback the system runs when
// the thread ends: that callback runs the slots' destructors and frees the array.
//
// The table lock is a bare SRW lock rather than a base::Lock: base::Lock reports to the
// activity tracker, which keeps its per-thread state in a thread-local slot.

namespace base {

namespace {

constexpr int kMaxDestructorRounds = 4;

struct SlotInfo {
  bool in_use;
  ThreadLocalSlot::Destructor destructor;
  uint32_t version;
};

struct ThreadEntry {
  void* value;
  uint32_t version;
};

SRWLOCK g_table_lock = SRWLOCK_INIT;
SlotInfo g_slots[ThreadLocalSlot::kSlotCount];  // Under g_table_lock.
int g_last_reserved = -1;                      // Under g_table_lock.
// Both indices are made once, the FLS index first: a thread that sees the TLS index sees it.
DWORD g_fls_index = FLS_OUT_OF_INDEXES;
std::atomic<DWORD> g_tls_index{TLS_OUT_OF_INDEXES};

class TableLock {
 public:
  TableLock() { ::AcquireSRWLockExclusive(&g_table_lock); }
  ~TableLock() { ::ReleaseSRWLockExclusive(&g_table_lock); }
};

// The calling thread's entries, or null. Keeps the thread's last-error value, which
// TlsGetValue resets.
ThreadEntry* GetThreadEntries() {
  const DWORD tls_index = g_tls_index.load(std::memory_order_acquire);
  if (tls_index == TLS_OUT_OF_INDEXES)
    return nullptr;
  const DWORD last_error = ::GetLastError();
  void* entries = ::TlsGetValue(tls_index);
  ::SetLastError(last_error);
  return static_cast<ThreadEntry*>(entries);
}

void NTAPI OnThreadExit(void* data) {
  ThreadEntry* entries = static_cast<ThreadEntry*>(data);
  // A destructor may store new values (in its own or other slots): run again while some
  // destructor ran, within bounds.
  for (int round = 0; round < kMaxDestructorRounds; ++round) {
    bool ran = false;
    for (int i = 0; i < ThreadLocalSlot::kSlotCount; ++i) {
      void* value = entries[i].value;
      if (!value)
        continue;
      ThreadLocalSlot::Destructor destructor = nullptr;
      {
        TableLock lock;
        if (g_slots[i].in_use && g_slots[i].version == entries[i].version)
          destructor = g_slots[i].destructor;
      }
      entries[i].value = nullptr;
      if (destructor) {
        destructor(value);
        ran = true;
      }
    }
    if (!ran)
      break;
  }
  ::TlsSetValue(g_tls_index.load(std::memory_order_acquire), nullptr);
  delete[] entries;
}

}  // namespace

void ThreadLocalSlot::Initialize(Destructor destructor) {
  CHECK(!initialized()) << "thread-local slot initialised twice";
  bool exhausted = false;
  {
    TableLock lock;
    if (g_tls_index.load(std::memory_order_relaxed) == TLS_OUT_OF_INDEXES) {
      const DWORD tls_index = ::TlsAlloc();
      if (tls_index == TLS_OUT_OF_INDEXES)
        PLOG(FATAL) << "TlsAlloc failed";
      g_fls_index = ::FlsAlloc(&OnThreadExit);
      if (g_fls_index == FLS_OUT_OF_INDEXES)
        PLOG(FATAL) << "FlsAlloc failed";
      g_tls_index.store(tls_index, std::memory_order_release);
    }
    // Search from the slot after the last one reserved, so that a freed slot is reused as
    // late as possible.
    exhausted = true;
    for (int n = 1; n <= kSlotCount; ++n) {
      const int candidate = (g_last_reserved + n) % kSlotCount;
      if (g_slots[candidate].in_use)
        continue;
      g_slots[candidate].in_use = true;
      g_slots[candidate].destructor = destructor;
      g_last_reserved = candidate;
      index_ = candidate;
      version_ = g_slots[candidate].version;
      exhausted = false;
      break;
    }
  }
  if (exhausted)
    LOG(FATAL) << "All " << kSlotCount << " thread-local slots are in use";
}

void ThreadLocalSlot::Free() {
  CHECK(initialized()) << "freeing a thread-local slot that is not reserved";
  TableLock lock;
  SlotInfo& info = g_slots[index_];
  info.in_use = false;
  info.destructor = nullptr;
  ++info.version;
  index_ = -1;
}

void* ThreadLocalSlot::Get() const {
  if (!initialized())
    return nullptr;
  const ThreadEntry* entries = GetThreadEntries();
  if (!entries || entries[index_].version != version_)
    return nullptr;
  return entries[index_].value;
}

void ThreadLocalSlot::Set(void* value) {
  CHECK(initialized()) << "setting a thread-local slot that is not reserved";
  ThreadEntry* entries = GetThreadEntries();
  if (!entries) {
    if (!value)
      return;
    entries = new ThreadEntry[kSlotCount]();
    const DWORD last_error = ::GetLastError();
    ::TlsSetValue(g_tls_index.load(std::memory_order_acquire), entries);
    ::FlsSetValue(g_fls_index, entries);
    ::SetLastError(last_error);
  }
  entries[index_].value = value;
  entries[index_].version = version_;
}

ThreadLocalSlot& LazyThreadLocalSlot::Get() {
  if (state_.load(std::memory_order_acquire) <= internal::kLazyInstanceCreating &&
      internal::NeedsLazyInstance(state_)) {
    slot_.Initialize(destructor_);
    internal::CompleteLazyInstance(state_, reinterpret_cast<uintptr_t>(&slot_), nullptr,
                                   nullptr);
  }
  return slot_;
}

}  // namespace base
