#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/timer/timer.h"
#include "base/trace_event/memory_dump_provider.h"
#include "base/trace_event/memory_dump_request_args.h"
#include "base/trace_event/memory_dump_session_state.h"
#include "base/trace_event/trace_log.h"

namespace base {

class Thread;

namespace trace_event {

class ProcessMemoryDump;

// Performs global dumps across the processes of a recording; none exists in the
// installer, so no global dump is ever made there.
class MemoryDumpManagerDelegate {
 public:
  virtual void RequestGlobalMemoryDump(const MemoryDumpRequestArgs& args,
                                       const GlobalMemoryDumpCallback& callback) = 0;

 protected:
  virtual ~MemoryDumpManagerDelegate() = default;
};

// The process-wide registry of memory dump providers. Dumps are made only while the trace
// category "disabled-by-default-memory-infra" records (never, in the installer), on
// request or by a periodic timer; a dump asks every provider in registration order (those
// with a task runner first, each on its runner; the others on the "MemoryInfra" thread).
// The manager also reads the switch "enable-heap-profiling", which turns the heap
// profiler's pseudo-stack capture on.
//
// Threads: every method may be called from any thread; providers are called outside the
// lock. Providers with a task runner must unregister on it.
class MemoryDumpManager : public TraceLog::EnabledStateObserver {
 public:
  static const char kTraceCategory[];
  static constexpr int kMaxConsecutiveFailuresCount = 3;

  // The dump a CreateProcessDump made; |pmd| lives for the call.
  using ProcessMemoryDumpCallback =
      Callback<void(uint64_t dump_guid, bool success, const ProcessMemoryDump* pmd)>;

  // Made on first use (by the trace log), never destroyed.
  static MemoryDumpManager* GetInstance();

  // A manager of its own; the process's is GetInstance's.
  MemoryDumpManager();
  MemoryDumpManager(const MemoryDumpManager&) = delete;
  MemoryDumpManager& operator=(const MemoryDumpManager&) = delete;
  ~MemoryDumpManager() override;

  // Hands global dumps to |delegate| (not owned) and follows the trace log's recording
  // (OnTraceLogEnabled/OnTraceLogDisabled).
  void Initialize(MemoryDumpManagerDelegate* delegate);

  // |mdp| (not owned) is asked on |task_runner|, or on the dump thread when null, until it
  // is unregistered. Registering the same provider and runner again changes nothing.
  void RegisterDumpProvider(MemoryDumpProvider* mdp,
                            const char* name,
                            scoped_refptr<SingleThreadTaskRunner> task_runner);
  void RegisterDumpProvider(MemoryDumpProvider* mdp,
                            const char* name,
                            scoped_refptr<SingleThreadTaskRunner> task_runner,
                            const MemoryDumpProvider::Options& options);
  // Not registered: ignored.
  void UnregisterDumpProvider(MemoryDumpProvider* mdp);

  // Asks the delegate for a global dump. |callback| (may be null) always gets an answer:
  // (0, false) while memory tracing is off or |level_of_detail| is not allowed by the
  // recording, (id, false) without a delegate.
  void RequestGlobalDump(MemoryDumpType dump_type,
                         MemoryDumpLevelOfDetail level_of_detail,
                         const GlobalMemoryDumpCallback& callback);

  // This process's part of a global dump: asks each provider in turn and then calls
  // |callback| on the calling thread (or on the last provider's thread when the caller has
  // no message loop). A provider that fails kMaxConsecutiveFailuresCount dumps in a row,
  // or whose thread is gone, is not asked again. Background dumps ask only whitelisted
  // providers.
  void CreateProcessDump(const MemoryDumpRequestArgs& args,
                         const ProcessMemoryDumpCallback& callback);

  // Whether the recording allows dumps of |level_of_detail|.
  bool IsDumpModeAllowed(MemoryDumpLevelOfDetail level_of_detail) const;
  bool IsMemoryTracingEnabled() const { return memory_tracing_enabled_.load() != 0; }
  bool IsHeapProfilingEnabled() const { return heap_profiling_enabled_; }
  // The recording's shared state; null while memory tracing is off.
  scoped_refptr<MemoryDumpSessionState> session_state() const;
  // The registered providers' names, in the order dumps ask them.
  std::vector<std::string> GetDumpProviderNames() const;

  // TraceLog::EnabledStateObserver:
  void OnTraceLogEnabled() override;
  void OnTraceLogDisabled() override;

 private:
  struct MemoryDumpProviderInfo;
  struct ProviderInfoOrder {
    bool operator()(const scoped_refptr<MemoryDumpProviderInfo>& a,
                    const scoped_refptr<MemoryDumpProviderInfo>& b) const;
  };
  using MemoryDumpProviderInfoSet =
      std::set<scoped_refptr<MemoryDumpProviderInfo>, ProviderInfoOrder>;
  struct ProcessMemoryDumpAsyncState;

  // h = h * 131 + byte, over the name.
  struct NameHash {
    size_t operator()(const std::string& name) const;
  };

  void ApplyHeapProfilingSwitch();
  void ContinueAsyncProcessDump(scoped_refptr<ProcessMemoryDumpAsyncState> state);
  void FinishAsyncProcessDump(scoped_refptr<ProcessMemoryDumpAsyncState> state);
  // On the dump thread.
  void AddToPollingSet(scoped_refptr<MemoryDumpProviderInfo> info);
  void RemoveFromPollingSet(scoped_refptr<MemoryDumpProviderInfo> info);
  void StartPeriodicTimer(std::vector<TraceConfig::MemoryDumpTrigger> triggers);
  void StopPeriodicTimer();
  void OnPeriodicTimer();

  MemoryDumpProviderInfoSet dump_providers_;              // Under lock_.
  MemoryDumpProviderInfoSet dump_providers_for_polling_;  // On the dump thread.
  scoped_refptr<MemoryDumpSessionState> session_state_;    // Under lock_.
  // Providers that must unregister on their own task runner.
  std::unordered_set<std::string, NameHash> strict_thread_check_whitelist_;
  MemoryDumpManagerDelegate* delegate_ = nullptr;  // Under lock_.
  mutable Lock lock_;
  std::atomic<int32_t> memory_tracing_enabled_{0};

  // On the dump thread.
  Timer periodic_dump_timer_;
  uint32_t periodic_dumps_count_ = 0;
  uint32_t light_dump_rate_ = 0;
  uint32_t heavy_dump_rate_ = 0;

  std::unique_ptr<Thread> dump_thread_;  // Under lock_.
  bool heap_profiling_enabled_ = false;  // Set at construction.
  bool observing_trace_log_ = false;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_H_
