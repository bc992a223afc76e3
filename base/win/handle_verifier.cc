#include "base/win/handle_verifier.h"

#include <stdint.h>
#include <string.h>

#include <atomic>
#include <unordered_map>

#include "base/debug/stack_trace.h"
#include "base/hash/super_fast_hash.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"

namespace base {
namespace win {

namespace {

constexpr size_t kMaxStackFrames = debug::StackTrace::kMaxFrames;

// Who took a handle.
struct OwnerRecord {
  const void* owner = nullptr;
  const void* pc1 = nullptr;
  const void* pc2 = nullptr;
  DWORD thread_id = 0;
  USHORT stack_size = 0;
  void* stack[kMaxStackFrames] = {};
};

struct HandleHash {
  size_t operator()(HANDLE handle) const { return SuperFastHash(&handle, sizeof(handle)); }
};

// Logs what went wrong, with the record of the handle's owner when there is one, and ends
// the process. Called without the verifier's lock held: logging may itself open handles.
[[noreturn]] void ReportAndCrash(const char* problem,
                                 HANDLE handle,
                                 const void* owner,
                                 const void* pc1,
                                 const void* pc2,
                                 const OwnerRecord* record) {
  // Kept on this frame for crash dumps.
  OwnerRecord record_copy;
  if (record)
    record_copy = *record;
  volatile const OwnerRecord* dump_record = &record_copy;
  (void)dump_record;

  LOG(ERROR) << "Handle verifier: " << problem << ": handle " << handle << ", owner " << owner
             << ", code " << pc1 << " called from " << pc2 << ", thread "
             << ::GetCurrentThreadId();
  if (record) {
    std::ostringstream stack;
    for (USHORT i = 0; i < record->stack_size; ++i)
      stack << ' ' << record->stack[i];
    LOG(ERROR) << "Handle verifier: the handle was taken by owner " << record->owner
               << ", code " << record->pc1 << " called from " << record->pc2 << ", thread "
               << record->thread_id << ", stack:" << stack.str();
  }
  logging::ImmediateCrash();
}

class ProcessHandleVerifier final : public HandleVerifier {
 public:
  explicit ProcessHandleVerifier(HMODULE module) : module_(module) {}

  void StartTracking(HANDLE handle,
                     const void* owner,
                     const void* pc1,
                     const void* pc2) override {
    if (!enabled_.load(std::memory_order_acquire))
      return;
    OwnerRecord record;
    record.owner = owner;
    record.pc1 = pc1;
    record.pc2 = pc2;
    record.thread_id = ::GetCurrentThreadId();
    const debug::StackTrace trace;
    record.stack_size = static_cast<USHORT>(trace.count());
    memcpy(record.stack, trace.addresses(), trace.count() * sizeof(record.stack[0]));

    OwnerRecord existing;
    {
      AutoLock lock(lock_);
      const auto inserted = handles_.emplace(handle, record);
      if (inserted.second)
        return;
      existing = inserted.first->second;
    }
    ReportAndCrash(existing.owner == owner ? "handle taken twice by the same owner"
                                           : "handle taken while another owner holds it",
                   handle, owner, pc1, pc2, &existing);
  }

  void StopTracking(HANDLE handle,
                    const void* owner,
                    const void* pc1,
                    const void* pc2) override {
    if (!enabled_.load(std::memory_order_acquire))
      return;
    bool tracked = false;
    OwnerRecord existing;
    {
      AutoLock lock(lock_);
      const auto found = handles_.find(handle);
      if (found != handles_.end()) {
        if (found->second.owner == owner) {
          handles_.erase(found);
          return;
        }
        tracked = true;
        existing = found->second;
      }
    }
    if (tracked) {
      ReportAndCrash("handle released by an owner that does not hold it", handle, owner, pc1,
                     pc2, &existing);
    }
    ReportAndCrash("untracked handle released (closed twice?)", handle, owner, pc1, pc2,
                   nullptr);
  }

  void Disable() override {
    enabled_.store(false, std::memory_order_release);
    AutoLock lock(lock_);
    handles_.clear();
  }

  void OnHandleBeingClosed(HANDLE handle) override {
    if (!enabled_.load(std::memory_order_acquire))
      return;
    OwnerRecord existing;
    {
      AutoLock lock(lock_);
      const auto found = handles_.find(handle);
      if (found == handles_.end())
        return;
      existing = found->second;
    }
    ReportAndCrash("handle closed while an owner holds it", handle, nullptr, nullptr, nullptr,
                   &existing);
  }

  HMODULE GetModule() const override { return module_; }

 private:
  const HMODULE module_;
  std::atomic<bool> enabled_{true};
  // A Lock owns no kernel handle, so taking it never comes back into the verifier.
  Lock lock_;
  std::unordered_map<HANDLE, OwnerRecord, HandleHash> handles_;
};

HMODULE GetThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<const wchar_t*>(&GetThisModule), &module);
  return module;
}

HandleVerifier* AssignOrCreateVerifier() {
  // A host executable that exports its own verifier shares it with this library.
  using GetHandleVerifierFunction = void* (*)();
  const auto host_function = reinterpret_cast<GetHandleVerifierFunction>(
      ::GetProcAddress(::GetModuleHandleW(nullptr), "GetHandleVerifier"));
  if (host_function && host_function != &GetHandleVerifier) {
    if (void* host_verifier = host_function())
      return static_cast<HandleVerifier*>(host_verifier);
  }
  // Lives until the process ends: handles are closed until the very end.
  return new ProcessHandleVerifier(GetThisModule());
}

}  // namespace

HandleVerifier* GetActiveHandleVerifier() {
  static HandleVerifier* const verifier = AssignOrCreateVerifier();
  return verifier;
}

}  // namespace win
}  // namespace base

void* GetHandleVerifier() {
  return base::win::GetActiveHandleVerifier();
}
