#ifndef BASE_TRACE_EVENT_TRACE_LOG_H_
#define BASE_TRACE_EVENT_TRACE_LOG_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <stack>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/lazy_instance.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/threading/thread_local_slot.h"
#include "base/trace_event/memory_dump_provider.h"
#include "base/trace_event/trace_config.h"
#include "base/trace_event/trace_event_impl.h"

namespace base {

class MessageLoop;

namespace trace_event {

class TraceBuffer;
class TraceBufferChunk;
class TraceEventFilter;

namespace internal {

// A thread's CPU time in microseconds from its cycle count and the time-stamp counter's
// frequency; 0 while the frequency is not known (0).
int64_t ThreadCyclesToMicroseconds(uint64_t cycles, double ticks_per_second);

}  // namespace internal

// The process-wide recorder of trace events. Instrumented sites (the macros of
// base/trace_event/trace_event.h) test their category group's one-byte enabled flag and
// call in only when it has a bit; in the installer nothing turns recording, filtering or
// the ETW export on, so the trace log is made, registers its categories and records
// nothing. SetEnabled/SetDisabled exist for tools and tests.
//
// Threads: every method may be called from any thread. Recording threads that run a
// message loop fill a chunk of their own without the lock; others take the lock per event.
// Events added from inside the trace log on the same thread (a log handler that traces)
// are dropped.
class TraceLog : public MemoryDumpProvider {
 public:
  enum Mode : uint8_t {
    RECORDING_MODE = 1,
    FILTERING_MODE = 2,
  };

  // Bits of a category group's enabled flag.
  enum CategoryFlags : unsigned char {
    kEnabledForRecording = 1,
    kEnabledForEtwExport = 8,
    kEnabledForFiltering = 16,
  };

  // Trace options: how the buffer is used (the first matching bit picks the buffer).
  enum TraceOptions : int {
    kRecordUntilFull = 1,
    kRecordContinuously = 2,
    kEchoToConsole = 8,
    kRecordAsMuchAsPossible = 16,
  };

  static constexpr int kMaxCategories = 200;
  static constexpr size_t kMaxEventFilters = 32;

  // Told, on the thread that changes the modes and outside the lock, when recording
  // starts and stops.
  class EnabledStateObserver {
   public:
    virtual void OnTraceLogEnabled() = 0;
    virtual void OnTraceLogDisabled() = 0;

   protected:
    virtual ~EnabledStateObserver() = default;
  };

  // The same, told through a task on the observer's own thread.
  class AsyncEnabledStateObserver {
   public:
    virtual void OnTraceLogEnabled() = 0;
    virtual void OnTraceLogDisabled() = 0;

   protected:
    virtual ~AsyncEnabledStateObserver() = default;
  };

  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // Made on first use, never destroyed. Making it registers it as the dump provider
  // "TraceLog", which makes the memory dump manager.
  static TraceLog* GetInstance();

  // The address of the enabled flag of |category_group| (one or more category names
  // separated by ","), valid for the rest of the process. The first call for a group
  // registers it (a copy of the text is kept); once 200 groups exist, new groups share a
  // flag that stays 0.
  static const unsigned char* GetCategoryEnabledFlag(const char* category_group);
  // The group text of a flag that GetCategoryEnabledFlag returned.
  static const char* GetCategoryGroupName(const unsigned char* category_group_enabled);

  // Records one event; |timestamp| in microseconds of TimeTicks. |thread_id| is the
  // thread's id (the process id with kTraceEventFlagHasProcessId). Arguments of
  // kTraceValueTypeConvertable are taken out of |convertable_values| (may be null
  // otherwise). The handle finds the event again; all zero when nothing was recorded.
  TraceEventHandle AddTraceEvent(char phase,
                                 const unsigned char* category_group_enabled,
                                 const char* name,
                                 const char* scope,
                                 uint64_t id,
                                 uint64_t bind_id,
                                 int thread_id,
                                 int64_t timestamp,
                                 int num_args,
                                 const char* const* arg_names,
                                 const unsigned char* arg_types,
                                 const uint64_t* arg_values,
                                 std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
                                 uint32_t flags);

  // Completes an event of phase 'X' that AddTraceEvent recorded; nothing when the handle
  // no longer resolves.
  void UpdateTraceEventDuration(const unsigned char* category_group_enabled,
                                const char* name,
                                TraceEventHandle handle);

  // Keeps a metadata event ('M', now, this thread) to be written when recording stops.
  void AddMetadataEvent(const unsigned char* category_group_enabled,
                        const char* name,
                        int num_args,
                        const char* const* arg_names,
                        const unsigned char* arg_types,
                        const uint64_t* arg_values,
                        std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
                        uint32_t flags);

  // Turns modes on. Starting to record takes a new, empty buffer for |trace_options|
  // and tells the enabled-state observers; while recording, a new configuration replaces
  // the old. Filtering takes |config|'s event filters when it starts.
  void SetEnabled(const TraceConfig& config, uint8_t modes_to_enable, int trace_options);
  // Turns modes off. Stopping to record writes the metadata events into the buffer and
  // tells the observers.
  void SetDisabled(uint8_t modes_to_disable);

  uint8_t enabled_modes() const;
  bool IsEnabled() const { return (enabled_modes() & RECORDING_MODE) != 0; }
  TraceConfig GetCurrentTraceConfig() const;
  int trace_options() const;
  int process_id() const { return process_id_; }
  // Makes an id unique to this process.
  uint64_t MangleEventId(uint64_t id) const { return id ^ process_id_hash_; }

  // Written into the metadata events when recording stops.
  void SetProcessName(const std::string& name);
  void SetProcessSortIndex(int sort_index);
  void SetProcessLabel(int label_id, const std::string& label);
  void SetThreadSortIndex(int thread_id, int sort_index);

  // Gives the calling thread its event buffer now, when it runs a message loop.
  void InitializeThreadLocalEventBufferIfSupported();
  // The calling thread's message loop must not be observed: its events go through the
  // shared chunk.
  void SetCurrentThreadBlocksMessageLoop();

  void AddEnabledStateObserver(EnabledStateObserver* observer);
  // Removes the first occurrence; nothing when absent.
  void RemoveEnabledStateObserver(EnabledStateObserver* observer);
  // The calling thread, which must run a message loop, is told through tasks.
  void AddAsyncEnabledStateObserver(WeakPtr<AsyncEnabledStateObserver> observer);
  void RemoveAsyncEnabledStateObserver(AsyncEnabledStateObserver* observer);

  // Only while not recording: takes the recorded events out of the buffer (leaving it
  // empty) and writes them as one JSON array into |json|. Events that threads still hold
  // in their own chunks are left out. False, with |json| untouched, while recording.
  bool TakeBufferedEventsAsJson(std::string* json,
                                const TraceEvent::ArgumentFilterPredicate& filter);

  // MemoryDumpProvider: the trace log's own memory, as "tracing/main_trace_log/...".
  bool OnMemoryDump(const MemoryDumpArgs& args, ProcessMemoryDump* pmd) override;

 private:
  friend class LazyInstance<TraceLog, LazyInstanceEnd::kLeaked>;
  class ThreadLocalEventBuffer;
  class OptionalAutoLock;

  struct RegisteredAsyncObserver {
    WeakPtr<AsyncEnabledStateObserver> observer;
    scoped_refptr<SingleThreadTaskRunner> task_runner;
  };

  TraceLog();
  ~TraceLog() override;

  const unsigned char* GetCategoryGroupEnabledInternal(const char* category_group);
  // Under lock_.
  void UpdateCategoryGroupEnabledFlag(int category_index);
  void UpdateCategoryRegistry();
  void CreateFiltersForTraceConfig();
  std::unique_ptr<TraceBuffer> CreateTraceBuffer() const;
  void UseNextTraceBuffer();
  bool CheckGeneration(int generation) const;
  TraceEvent* AddEventToThreadSharedChunkWhileLocked(TraceEventHandle* handle,
                                                     bool check_buffer_is_full);
  void CheckIfBufferIsFullWhileLocked();
  void SetDisabledWhileLocked(uint8_t modes_to_disable);
  void AddMetadataEventsWhileLocked();

  ThreadLocalEventBuffer* GetOrMakeThreadLocalEventBuffer();
  TraceEvent* GetEventByHandleInternal(TraceEventHandle handle, OptionalAutoLock* lock);
  void RecordThreadName(int thread_id);
  // The console line of an event; 'B' lines open a scope of the thread, 'E' lines close
  // one. Takes thread_info_lock_.
  std::string EventToConsoleMessage(char phase, int64_t timestamp, TraceEvent* trace_event);
  void EndFilteredEvent(const unsigned char* category_group_enabled, const char* name);

  mutable Lock lock_;
  Lock thread_info_lock_;  // Taken after lock_ when both are needed.

  uint8_t enabled_modes_ = 0;  // Under lock_.
  int num_traces_recorded_ = 0;
  std::unique_ptr<TraceBuffer> logged_events_;
  std::vector<std::unique_ptr<TraceEvent>> metadata_events_;
  bool dispatching_to_observer_list_ = false;
  std::vector<EnabledStateObserver*> enabled_state_observer_list_;
  std::map<AsyncEnabledStateObserver*, RegisteredAsyncObserver> async_observers_;

  std::string process_name_;
  std::unordered_map<int, std::string> process_labels_;
  int process_sort_index_ = 0;
  std::unordered_map<int, int> thread_sort_indices_;
  // Under thread_info_lock_: each thread's names, separated by ",".
  std::unordered_map<int, std::string> thread_names_;
  std::unordered_map<int, std::stack<int64_t>> thread_event_start_times_;
  std::unordered_map<std::string, int> thread_colors_;

  int64_t buffer_limit_reached_timestamp_ = 0;
  uint64_t process_id_hash_ = 0;
  int process_id_ = 0;
  int64_t time_offset_ = 0;
  std::atomic<int> trace_options_;
  TraceConfig trace_config_;
  std::vector<TraceFilterConfig> enabled_event_filters_;

  ThreadLocalSlot thread_local_event_buffer_;
  ThreadLocalSlot thread_blocks_message_loop_;
  ThreadLocalSlot thread_is_in_trace_event_;
  std::set<MessageLoop*> thread_message_loops_;  // Loops whose threads have a buffer.

  std::unique_ptr<TraceBufferChunk> thread_shared_chunk_;
  size_t thread_shared_chunk_index_ = 0;
  // Stamped into every thread's buffer; a buffer of an older generation is dropped.
  std::atomic<int> generation_{0};
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_LOG_H_
