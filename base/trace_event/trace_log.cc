#include "base/trace_event/trace_log.h"

#include <windows.h>
#include <string.h>

#include <limits>
#include <utility>

#include "base/bind.h"
#include "base/cpu.h"
#include "base/hash/fnv1a.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/string_split.h"
#include "base/strings/stringprintf.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/threading/thread_name_registry.h"
#include "base/time/time.h"
#include "base/trace_event/heap_context_tracker.h"
#include "base/trace_event/memory_dump_manager.h"
#include "base/trace_event/trace_buffer.h"
#include "base/trace_event/trace_event_etw_export.h"
#include "base/trace_event/trace_event_filter.h"
#include "base/trace_event/trace_event_memory_overhead.h"

namespace base {
namespace trace_event {

namespace {

// Buffer sizes in chunks, by trace option.
constexpr size_t kTraceBufferChunks = 4000;
constexpr size_t kTraceBufferChunksWhenRecordingContinuously = 1000;
constexpr size_t kTraceBufferChunksWhenEchoingToConsole = 256;
constexpr size_t kTraceBufferChunksAsMuchAsPossible = 8000000;

// The category table: never shrinks and never moves, so the flag addresses that sites keep
// stay valid. Readers search it without the lock up to the published count; a new entry
// gets its name and flag before the count that includes it is stored.
struct CategoryEntry {
  unsigned char enabled;   // CategoryFlags.
  uint32_t filter_bitmap;  // Bit i: active event filter i wants the group.
  const char* name;
};

constexpr int kCategoryExhausted = 0;
constexpr int kCategoryAlreadyShutdown = 1;
constexpr int kCategoryMetadata = 2;
constexpr int kNumBuiltinCategories = 4;

CategoryEntry g_categories[TraceLog::kMaxCategories] = {
    {0, 0, "tracing categories exhausted; must increase kMaxCategories"},
    {0, 0, "tracing already shutdown"},
    {0, 0, "__metadata"},
    {0, 0, "toplevel"},
};
std::atomic<int> g_category_count{kNumBuiltinCategories};

// The active event filters, bit i of a category's bitmap naming filter i. Filters are
// read without a lock by recording threads, so they are never destroyed: turning
// filtering off only unpublishes them.
std::atomic<TraceEventFilter*> g_event_filters[TraceLog::kMaxEventFilters];
std::atomic<size_t> g_event_filter_count{0};
LazyInstance<std::vector<std::unique_ptr<TraceEventFilter>>>::Leaky g_all_event_filters;

// The name of the calling thread as last recorded (a std::string*).
void DeleteThreadName(void* name) {
  delete static_cast<std::string*>(name);
}
LazyThreadLocalSlot g_current_thread_name(&DeleteThreadName);

LazyInstance<TraceLog, LazyInstanceEnd::kLeaked> g_trace_log;

const CategoryEntry* EntryOfFlag(const unsigned char* category_group_enabled) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(category_group_enabled);
  const uintptr_t first = reinterpret_cast<uintptr_t>(&g_categories[0].enabled);
  const uintptr_t end = reinterpret_cast<uintptr_t>(&g_categories[TraceLog::kMaxCategories]);
  if (address < first || address >= end || (address - first) % sizeof(CategoryEntry) != 0)
    return nullptr;
  return &g_categories[(address - first) / sizeof(CategoryEntry)];
}

// Thread CPU time is read from the thread's cycle count; some systems cannot tell it.
enum class ThreadTimeSupport { kUnknown, kAvailable, kUnavailable };
std::atomic<ThreadTimeSupport> g_thread_time_support{ThreadTimeSupport::kUnknown};

int64_t ThreadNow() {
  if (g_thread_time_support.load(std::memory_order_relaxed) == ThreadTimeSupport::kUnavailable)
    return 0;
  if (!IsPerformanceCounterReliable()) {
    g_thread_time_support.store(ThreadTimeSupport::kUnavailable, std::memory_order_relaxed);
    return 0;
  }
  ULONG64 cycles = 0;
  if (!::QueryThreadCycleTime(::GetCurrentThread(), &cycles)) {
    // Wine has no thread cycle counts; asking again would only cost time.
    g_thread_time_support.store(ThreadTimeSupport::kUnavailable, std::memory_order_relaxed);
    return 0;
  }
  g_thread_time_support.store(ThreadTimeSupport::kAvailable, std::memory_order_relaxed);
  return internal::ThreadCyclesToMicroseconds(cycles, TscTicksPerSecond());
}

int NumberOfProcessors() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return static_cast<int>(info.dwNumberOfProcessors);
}

int CurrentThreadId() {
  return static_cast<int>(::GetCurrentThreadId());
}

// Sets a thread-local flag for the rest of the scope.
class AutoThreadLocalFlag {
 public:
  explicit AutoThreadLocalFlag(ThreadLocalSlot* slot) : slot_(slot) {
    slot_->Set(reinterpret_cast<void*>(1));
  }
  AutoThreadLocalFlag(const AutoThreadLocalFlag&) = delete;
  AutoThreadLocalFlag& operator=(const AutoThreadLocalFlag&) = delete;
  ~AutoThreadLocalFlag() { slot_->Set(nullptr); }

 private:
  ThreadLocalSlot* const slot_;
};

void InitializeMetadataEvent(TraceEvent* trace_event,
                             int thread_id,
                             const char* name,
                             const char* arg_name,
                             unsigned char type,
                             uint64_t value) {
  if (!trace_event)
    return;
  trace_event->Initialize(thread_id, 0, 0, 'M', &g_categories[kCategoryMetadata].enabled, name,
                          nullptr, 0, 0, 1, &arg_name, &type, &value, nullptr,
                          kTraceEventFlagNone);
}

uint64_t IntegerValue(int64_t value) {
  return static_cast<uint64_t>(value);
}

uint64_t StringValue(const std::string& text) {
  return reinterpret_cast<uintptr_t>(text.c_str());
}

}  // namespace

namespace internal {

int64_t ThreadCyclesToMicroseconds(uint64_t cycles, double ticks_per_second) {
  if (!(ticks_per_second > 0))
    return 0;
  const double microseconds = static_cast<double>(cycles) / ticks_per_second * 1000000.0;
  if (microseconds >= static_cast<double>(std::numeric_limits<int64_t>::max()))
    return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(microseconds);
}

}  // namespace internal

// Takes the lock on first need and releases it at the end of the scope.
class TraceLog::OptionalAutoLock {
 public:
  explicit OptionalAutoLock(Lock* lock) : lock_(lock) {}
  OptionalAutoLock(const OptionalAutoLock&) = delete;
  OptionalAutoLock& operator=(const OptionalAutoLock&) = delete;
  ~OptionalAutoLock() {
    if (locked_)
      lock_->Release();
  }

  void EnsureAcquired() {
    if (!locked_) {
      lock_->Acquire();
      locked_ = true;
    }
  }

 private:
  Lock* const lock_;
  bool locked_ = false;
};

// The events of a thread that runs a message loop go into a chunk of its own, without
// the lock; the chunk goes back to the buffer when it is full and when the loop ends.
// Deletes itself with the loop.
class TraceLog::ThreadLocalEventBuffer : public DestructionObserver, public MemoryDumpProvider {
 public:
  explicit ThreadLocalEventBuffer(TraceLog* trace_log)
      : trace_log_(trace_log),
        message_loop_(MessageLoop::Current()),
        generation_(trace_log->generation_.load()) {
    message_loop_->AddDestructionObserver(this);
    MemoryDumpManager::GetInstance()->RegisterDumpProvider(this, "ThreadLocalEventBuffer",
                                                           CurrentThreadTaskRunner::Get());
    AutoLock lock(trace_log_->lock_);
    trace_log_->thread_message_loops_.insert(message_loop_);
    trace_log_->thread_local_event_buffer_.Set(this);
  }

  ~ThreadLocalEventBuffer() override {
    message_loop_->RemoveDestructionObserver(this);
    MemoryDumpManager::GetInstance()->UnregisterDumpProvider(this);
    {
      AutoLock lock(trace_log_->lock_);
      FlushWhileLocked();
      trace_log_->thread_message_loops_.erase(message_loop_);
    }
    trace_log_->thread_local_event_buffer_.Set(nullptr);
  }

  ThreadLocalEventBuffer(const ThreadLocalEventBuffer&) = delete;
  ThreadLocalEventBuffer& operator=(const ThreadLocalEventBuffer&) = delete;

  int generation() const { return generation_; }

  TraceEvent* AddTraceEvent(TraceEventHandle* handle) {
    if (chunk_ && chunk_->IsFull()) {
      AutoLock lock(trace_log_->lock_);
      FlushWhileLocked();
    }
    if (!chunk_) {
      AutoLock lock(trace_log_->lock_);
      chunk_ = trace_log_->logged_events_->GetChunk(&chunk_index_);
      trace_log_->CheckIfBufferIsFullWhileLocked();
    }
    if (!chunk_)
      return nullptr;
    size_t event_index;
    TraceEvent* trace_event = chunk_->AddTraceEvent(&event_index);
    if (trace_event && handle)
      MakeTraceEventHandle(chunk_->seq(), chunk_index_, event_index, handle);
    return trace_event;
  }

  TraceEvent* GetEventByHandle(TraceEventHandle handle) {
    if (!chunk_ || handle.chunk_seq != chunk_->seq() || handle.chunk_index != chunk_index_)
      return nullptr;
    return chunk_->GetEventAt(handle.event_index);
  }

 private:
  // DestructionObserver:
  void WillDestroyCurrentMessageLoop() override { delete this; }

  // MemoryDumpProvider:
  bool OnMemoryDump(const MemoryDumpArgs& args, ProcessMemoryDump* pmd) override {
    if (!chunk_)
      return true;
    TraceEventMemoryOverhead overhead;
    chunk_->EstimateTraceMemoryOverhead(&overhead);
    const std::string name = StringPrintf("tracing/thread_%d", CurrentThreadId());
    overhead.DumpInto(name.c_str(), pmd);
    return true;
  }

  // Hands the chunk back; a chunk of an older buffer is dropped.
  void FlushWhileLocked() {
    if (!chunk_)
      return;
    if (trace_log_->CheckGeneration(generation_))
      trace_log_->logged_events_->ReturnChunk(chunk_index_, std::move(chunk_));
    chunk_.reset();
  }

  TraceLog* const trace_log_;
  MessageLoop* const message_loop_;
  std::unique_ptr<TraceBufferChunk> chunk_;
  size_t chunk_index_ = 0;
  const int generation_;
};

// static
TraceLog* TraceLog::GetInstance() {
  return g_trace_log.Pointer();
}

TraceLog::TraceLog() : trace_options_(kRecordUntilFull) {
  process_id_ = static_cast<int>(::GetCurrentProcessId());
  process_id_hash_ = (kFnv1a64OffsetBasis ^ static_cast<uint64_t>(process_id_)) * kFnv1a64Prime;
  logged_events_ = CreateTraceBuffer();
  thread_local_event_buffer_.Initialize(nullptr);
  thread_blocks_message_loop_.Initialize(nullptr);
  thread_is_in_trace_event_.Initialize(nullptr);
  MemoryDumpManager::GetInstance()->RegisterDumpProvider(this, "TraceLog", nullptr);
}

TraceLog::~TraceLog() = default;

// static
const unsigned char* TraceLog::GetCategoryEnabledFlag(const char* category_group) {
  TraceLog* trace_log = GetInstance();
  if (!trace_log)
    return &g_categories[kCategoryAlreadyShutdown].enabled;
  return trace_log->GetCategoryGroupEnabledInternal(category_group);
}

// static
const char* TraceLog::GetCategoryGroupName(const unsigned char* category_group_enabled) {
  const CategoryEntry* entry = EntryOfFlag(category_group_enabled);
  return entry ? entry->name : "";
}

const unsigned char* TraceLog::GetCategoryGroupEnabledInternal(const char* category_group) {
  int count = g_category_count.load(std::memory_order_acquire);
  for (int i = 0; i < count; ++i) {
    if (strcmp(g_categories[i].name, category_group) == 0)
      return &g_categories[i].enabled;
  }

  AutoLock lock(lock_);
  // Another thread may have added the group meanwhile.
  count = g_category_count.load(std::memory_order_relaxed);
  for (int i = 0; i < count; ++i) {
    if (strcmp(g_categories[i].name, category_group) == 0)
      return &g_categories[i].enabled;
  }
  if (count >= kMaxCategories)
    return &g_categories[kCategoryExhausted].enabled;

  ScopedHeapProfilerIgnore ignore;
  const size_t length = strlen(category_group) + 1;
  char* name = new char[length];  // Lives as long as the table.
  memcpy(name, category_group, length);
  g_categories[count].name = name;
  UpdateCategoryGroupEnabledFlag(count);
  g_category_count.store(count + 1, std::memory_order_release);
  return &g_categories[count].enabled;
}

void TraceLog::UpdateCategoryGroupEnabledFlag(int category_index) {
  CategoryEntry& entry = g_categories[category_index];
  unsigned char flag = 0;
  if (enabled_modes_ & RECORDING_MODE) {
    if (category_index == kCategoryMetadata || trace_config_.IsCategoryGroupEnabled(entry.name))
      flag |= kEnabledForRecording;
  }
  if (TraceEventEtwExport::IsCategoryGroupEnabled(entry.name))
    flag |= kEnabledForEtwExport;

  uint32_t filter_bitmap = 0;
  for (size_t i = 0; i < enabled_event_filters_.size() && i < kMaxEventFilters; ++i) {
    if (enabled_event_filters_[i].IsCategoryGroupEnabled(entry.name))
      filter_bitmap |= 1u << i;
  }
  if (filter_bitmap)
    flag |= kEnabledForFiltering;
  entry.filter_bitmap = filter_bitmap;
  entry.enabled = flag;
}

void TraceLog::UpdateCategoryRegistry() {
  CreateFiltersForTraceConfig();
  const int count = g_category_count.load(std::memory_order_relaxed);
  // The "exhausted" and "shutdown" entries stand for groups that never record.
  for (int i = kCategoryMetadata; i < count; ++i)
    UpdateCategoryGroupEnabledFlag(i);
}

void TraceLog::CreateFiltersForTraceConfig() {
  if (!(enabled_modes_ & FILTERING_MODE) || g_event_filter_count.load() != 0)
    return;
  size_t count = 0;
  for (const TraceFilterConfig& config : enabled_event_filters_) {
    if (count == kMaxEventFilters)
      break;
    std::unique_ptr<TraceEventFilter> filter;
    if (config.predicate_name == EventNameFilter::kName) {
      const ListValue* names = nullptr;
      CHECK(config.args && config.args->GetList("event_name_whitelist", &names))
          << "The event filter \"" << config.predicate_name
          << "\" needs a list \"event_name_whitelist\"";
      auto whitelist = std::make_unique<EventNameFilter::EventNames>();
      for (size_t i = 0; i < names->GetSize(); ++i) {
        std::string name;
        if (names->GetString(i, &name))
          whitelist->insert(name);
      }
      filter = std::make_unique<EventNameFilter>(std::move(whitelist));
    } else if (config.predicate_name == HeapProfilerEventFilter::kName) {
      filter = std::make_unique<HeapProfilerEventFilter>();
    }
    CHECK(filter) << "Unknown event filter \"" << config.predicate_name << "\"";
    g_event_filters[count++].store(filter.get(), std::memory_order_release);
    g_all_event_filters.Get().push_back(std::move(filter));
  }
  g_event_filter_count.store(count, std::memory_order_release);
}

std::unique_ptr<TraceBuffer> TraceLog::CreateTraceBuffer() const {
  const int options = trace_options();
  if (options & kRecordContinuously)
    return TraceBuffer::CreateTraceBufferRingBuffer(kTraceBufferChunksWhenRecordingContinuously);
  if (options & kEchoToConsole)
    return TraceBuffer::CreateTraceBufferRingBuffer(kTraceBufferChunksWhenEchoingToConsole);
  if (options & kRecordAsMuchAsPossible)
    return TraceBuffer::CreateTraceBufferVectorOfSize(kTraceBufferChunksAsMuchAsPossible);
  return TraceBuffer::CreateTraceBufferVectorOfSize(kTraceBufferChunks);
}

void TraceLog::UseNextTraceBuffer() {
  logged_events_ = CreateTraceBuffer();
  generation_.fetch_add(1);
  thread_shared_chunk_.reset();
  thread_shared_chunk_index_ = 0;
}

bool TraceLog::CheckGeneration(int generation) const {
  return generation == generation_.load();
}

TraceEvent* TraceLog::AddEventToThreadSharedChunkWhileLocked(TraceEventHandle* handle,
                                                             bool check_buffer_is_full) {
  if (thread_shared_chunk_ && thread_shared_chunk_->IsFull()) {
    logged_events_->ReturnChunk(thread_shared_chunk_index_, std::move(thread_shared_chunk_));
    thread_shared_chunk_.reset();
  }
  if (!thread_shared_chunk_) {
    thread_shared_chunk_ = logged_events_->GetChunk(&thread_shared_chunk_index_);
    if (check_buffer_is_full)
      CheckIfBufferIsFullWhileLocked();
  }
  if (!thread_shared_chunk_)
    return nullptr;
  size_t event_index;
  TraceEvent* trace_event = thread_shared_chunk_->AddTraceEvent(&event_index);
  if (trace_event && handle) {
    MakeTraceEventHandle(thread_shared_chunk_->seq(), thread_shared_chunk_index_, event_index,
                         handle);
  }
  return trace_event;
}

void TraceLog::CheckIfBufferIsFullWhileLocked() {
  if (!logged_events_->IsFull())
    return;
  if (buffer_limit_reached_timestamp_ == 0)
    buffer_limit_reached_timestamp_ =
        SaturatedSub(TimeTicks::Now().ToInternalValue(), time_offset_);
  SetDisabledWhileLocked(RECORDING_MODE);
}

TraceLog::ThreadLocalEventBuffer* TraceLog::GetOrMakeThreadLocalEventBuffer() {
  auto* buffer = static_cast<ThreadLocalEventBuffer*>(thread_local_event_buffer_.Get());
  if (buffer && !CheckGeneration(buffer->generation())) {
    delete buffer;
    buffer = nullptr;
  }
  if (!buffer && MessageLoop::Current() && !thread_blocks_message_loop_.Get())
    buffer = new ThreadLocalEventBuffer(this);
  return buffer;
}

void TraceLog::InitializeThreadLocalEventBufferIfSupported() {
  if (thread_is_in_trace_event_.Get())
    return;
  AutoThreadLocalFlag in_trace_event(&thread_is_in_trace_event_);
  GetOrMakeThreadLocalEventBuffer();
}

void TraceLog::SetCurrentThreadBlocksMessageLoop() {
  thread_blocks_message_loop_.Set(reinterpret_cast<void*>(1));
  delete static_cast<ThreadLocalEventBuffer*>(thread_local_event_buffer_.Get());
}

void TraceLog::RecordThreadName(int thread_id) {
  const std::string name = ThreadNameRegistry::GetInstance()->GetName(thread_id);
  if (name.empty())
    return;
  std::string* last_name = static_cast<std::string*>(g_current_thread_name.Get().Get());
  if (last_name && *last_name == name)
    return;
  if (!last_name) {
    last_name = new std::string;
    g_current_thread_name.Get().Set(last_name);
  }
  *last_name = name;

  AutoLock lock(thread_info_lock_);
  auto it = thread_names_.find(thread_id);
  if (it == thread_names_.end()) {
    thread_names_[thread_id] = name;
    return;
  }
  const std::vector<std::string_view> known =
      SplitTextView(it->second, ',', KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY);
  for (std::string_view known_name : known) {
    if (known_name == name)
      return;
  }
  it->second += ",";
  it->second += name;
}

TraceEventHandle TraceLog::AddTraceEvent(
    char phase,
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
    uint32_t flags) {
  TraceEventHandle handle;
  const unsigned char category_flags = *category_group_enabled;
  if (!category_flags || thread_is_in_trace_event_.Get())
    return handle;
  AutoThreadLocalFlag in_trace_event(&thread_is_in_trace_event_);
  ScopedHeapProfilerIgnore ignore;

  if (flags & kTraceEventFlagMangleId) {
    id = MangleEventId(id);
    if (flags & (kTraceEventFlagFlowIn | kTraceEventFlagFlowOut))
      bind_id = MangleEventId(bind_id);
  }
  const int64_t offset_timestamp = SaturatedSub(timestamp, time_offset_);
  const int64_t thread_now = ThreadNow();

  ThreadLocalEventBuffer* thread_local_event_buffer = nullptr;
  if (category_flags & kEnabledForRecording)
    thread_local_event_buffer = GetOrMakeThreadLocalEventBuffer();

  if (thread_id == CurrentThreadId())
    RecordThreadName(thread_id);

  if (category_flags & kEnabledForEtwExport)
    TraceEventEtwExport::AddEvent(phase, name, num_args, arg_names, arg_types, arg_values);

  auto fill = [&](TraceEvent* trace_event) {
    trace_event->Initialize(thread_id, offset_timestamp, thread_now, phase, category_group_enabled,
                            name, scope, id, bind_id, num_args, arg_names, arg_types, arg_values,
                            convertable_values, flags);
  };

  std::unique_ptr<TraceEvent> filtered_event;
  bool disabled_by_filters = false;
  if (category_flags & kEnabledForFiltering) {
    filtered_event = std::make_unique<TraceEvent>();
    fill(filtered_event.get());
    disabled_by_filters = true;
    const CategoryEntry* entry = EntryOfFlag(category_group_enabled);
    const uint32_t bitmap = entry ? entry->filter_bitmap : 0;
    for (size_t i = 0; i < kMaxEventFilters; ++i) {
      if (!(bitmap & (1u << i)))
        continue;
      const TraceEventFilter* filter = g_event_filters[i].load(std::memory_order_acquire);
      if (filter && filter->FilterTraceEvent(*filtered_event))
        disabled_by_filters = false;
    }
  }

  std::string console_message;
  if ((category_flags & kEnabledForRecording) && !disabled_by_filters) {
    OptionalAutoLock lock(&lock_);
    TraceEvent* trace_event = nullptr;
    if (thread_local_event_buffer) {
      trace_event = thread_local_event_buffer->AddTraceEvent(&handle);
    } else {
      lock.EnsureAcquired();
      trace_event = AddEventToThreadSharedChunkWhileLocked(&handle, true);
    }
    if (trace_event) {
      if (filtered_event)
        trace_event->MoveFrom(std::move(filtered_event));
      else
        fill(trace_event);
      if (trace_options() & kEchoToConsole) {
        console_message =
            EventToConsoleMessage(phase == 'X' ? 'B' : phase, offset_timestamp, trace_event);
      }
    }
  }
  if (!console_message.empty())
    LOG(ERROR) << console_message;
  return handle;
}

TraceEvent* TraceLog::GetEventByHandleInternal(TraceEventHandle handle, OptionalAutoLock* lock) {
  if (!handle.chunk_seq)
    return nullptr;
  auto* thread_local_event_buffer =
      static_cast<ThreadLocalEventBuffer*>(thread_local_event_buffer_.Get());
  if (thread_local_event_buffer && CheckGeneration(thread_local_event_buffer->generation())) {
    TraceEvent* trace_event = thread_local_event_buffer->GetEventByHandle(handle);
    if (trace_event)
      return trace_event;
  }
  lock->EnsureAcquired();
  if (thread_shared_chunk_ && handle.chunk_index == thread_shared_chunk_index_) {
    return handle.chunk_seq == thread_shared_chunk_->seq()
               ? thread_shared_chunk_->GetEventAt(handle.event_index)
               : nullptr;
  }
  return logged_events_->GetEventByHandle(handle);
}

void TraceLog::UpdateTraceEventDuration(const unsigned char* category_group_enabled,
                                        const char* name,
                                        TraceEventHandle handle) {
  const unsigned char category_flags = *category_group_enabled;
  if (!category_flags || thread_is_in_trace_event_.Get())
    return;
  AutoThreadLocalFlag in_trace_event(&thread_is_in_trace_event_);

  const int64_t thread_now = ThreadNow();
  const int64_t now = SaturatedSub(TimeTicks::Now().ToInternalValue(), time_offset_);

  if (category_flags & kEnabledForEtwExport)
    TraceEventEtwExport::AddCompleteEndEvent(name);

  std::string console_message;
  if (category_flags & kEnabledForRecording) {
    OptionalAutoLock lock(&lock_);
    TraceEvent* trace_event = GetEventByHandleInternal(handle, &lock);
    if (trace_event) {
      DCHECK(trace_event->phase() == 'X');
      trace_event->UpdateDuration(now, thread_now);
      if (trace_options() & kEchoToConsole)
        console_message = EventToConsoleMessage('E', now, trace_event);
    }
  }
  if (!console_message.empty())
    LOG(ERROR) << console_message;

  if (category_flags & kEnabledForFiltering)
    EndFilteredEvent(category_group_enabled, name);
}

void TraceLog::EndFilteredEvent(const unsigned char* category_group_enabled, const char* name) {
  const CategoryEntry* entry = EntryOfFlag(category_group_enabled);
  if (!entry)
    return;
  for (size_t i = 0; i < kMaxEventFilters; ++i) {
    if (!(entry->filter_bitmap & (1u << i)))
      continue;
    const TraceEventFilter* filter = g_event_filters[i].load(std::memory_order_acquire);
    if (filter)
      filter->EndEvent(entry->name, name);
  }
}

void TraceLog::AddMetadataEvent(const unsigned char* category_group_enabled,
                                const char* name,
                                int num_args,
                                const char* const* arg_names,
                                const unsigned char* arg_types,
                                const uint64_t* arg_values,
                                std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
                                uint32_t flags) {
  if (thread_is_in_trace_event_.Get())
    return;
  AutoThreadLocalFlag in_trace_event(&thread_is_in_trace_event_);
  auto trace_event = std::make_unique<TraceEvent>();
  const int64_t now = SaturatedSub(TimeTicks::Now().ToInternalValue(), time_offset_);
  trace_event->Initialize(CurrentThreadId(), now, ThreadNow(), 'M', category_group_enabled, name,
                          nullptr, 0, 0, num_args, arg_names, arg_types, arg_values,
                          convertable_values, flags);
  AutoLock lock(lock_);
  metadata_events_.push_back(std::move(trace_event));
}

std::string TraceLog::EventToConsoleMessage(char phase,
                                            int64_t timestamp,
                                            TraceEvent* trace_event) {
  AutoLock thread_info_lock(thread_info_lock_);
  const int thread_id = trace_event->thread_id();
  std::stack<int64_t>& start_times = thread_event_start_times_[thread_id];

  // An end without a begin on this thread (its begin was not recorded) has no duration.
  bool has_duration = false;
  double duration_ms = 0;
  if (phase == 'E' && !start_times.empty()) {
    const int64_t elapsed = SaturatedSub(timestamp, start_times.top());
    start_times.pop();
    has_duration = true;
    duration_ms = elapsed == std::numeric_limits<int64_t>::max()
                      ? std::numeric_limits<double>::infinity()
                      : static_cast<double>(elapsed) / kMicrosecondsPerMillisecond;
  }

  std::string thread_name = thread_names_[thread_id];
  auto color = thread_colors_.find(thread_name);
  if (color == thread_colors_.end()) {
    const int next_color = static_cast<int>(thread_colors_.size() % 6) + 1;
    color = thread_colors_.emplace(thread_name, next_color).first;
  }

  std::string message = StringPrintf("%s: \033[0;3%dm", thread_name.c_str(), color->second);
  for (size_t i = 0; i < start_times.size(); ++i)
    message += "| ";
  trace_event->AppendPrettyPrinted(&message);
  if (has_duration)
    StringAppendF(&message, " (%.3f ms)", duration_ms);
  message += "\033[0;m";

  if (phase == 'B')
    start_times.push(timestamp);
  return message;
}

void TraceLog::SetEnabled(const TraceConfig& config, uint8_t modes_to_enable, int trace_options) {
  std::vector<EnabledStateObserver*> observers;
  std::map<AsyncEnabledStateObserver*, RegisteredAsyncObserver> async_observers;
  {
    AutoLock lock(lock_);
    if (dispatching_to_observer_list_) {
      LOG(ERROR) << "The trace log's modes cannot change while its observers are told of a change";
      return;
    }
    if ((modes_to_enable & FILTERING_MODE) && !(enabled_modes_ & FILTERING_MODE))
      enabled_event_filters_ = config.event_filters;
    const bool start_recording =
        (modes_to_enable & RECORDING_MODE) && !(enabled_modes_ & RECORDING_MODE);
    if (modes_to_enable & RECORDING_MODE)
      trace_config_ = config;
    if (start_recording) {
      trace_options_.store(trace_options, std::memory_order_relaxed);
      UseNextTraceBuffer();
      buffer_limit_reached_timestamp_ = 0;
      ++num_traces_recorded_;
    }
    enabled_modes_ |= modes_to_enable;
    UpdateCategoryRegistry();
    if (!start_recording)
      return;
    dispatching_to_observer_list_ = true;
    observers = enabled_state_observer_list_;
    async_observers = async_observers_;
  }
  for (EnabledStateObserver* observer : observers)
    observer->OnTraceLogEnabled();
  for (const auto& entry : async_observers) {
    entry.second.task_runner->PostTask(
        FROM_HERE_WITH_EXPLICIT_FUNCTION("SetEnabled"),
        BindMethod(&AsyncEnabledStateObserver::OnTraceLogEnabled, entry.second.observer));
  }
  AutoLock lock(lock_);
  dispatching_to_observer_list_ = false;
}

void TraceLog::SetDisabled(uint8_t modes_to_disable) {
  AutoLock lock(lock_);
  SetDisabledWhileLocked(modes_to_disable);
}

void TraceLog::SetDisabledWhileLocked(uint8_t modes_to_disable) {
  if (!(enabled_modes_ & modes_to_disable) || dispatching_to_observer_list_)
    return;
  const bool stop_recording =
      (modes_to_disable & RECORDING_MODE) && (enabled_modes_ & RECORDING_MODE);
  if ((modes_to_disable & FILTERING_MODE) && (enabled_modes_ & FILTERING_MODE)) {
    enabled_event_filters_.clear();
    for (auto& filter : g_event_filters)
      filter.store(nullptr, std::memory_order_release);
    g_event_filter_count.store(0);
  }
  enabled_modes_ &= ~modes_to_disable;
  if (stop_recording)
    trace_config_.Clear();
  UpdateCategoryRegistry();
  if (!stop_recording)
    return;

  AddMetadataEventsWhileLocked();
  metadata_events_.clear();

  dispatching_to_observer_list_ = true;
  const std::vector<EnabledStateObserver*> observers = enabled_state_observer_list_;
  const std::map<AsyncEnabledStateObserver*, RegisteredAsyncObserver> async_observers =
      async_observers_;
  {
    AutoUnlock unlock(lock_);
    for (EnabledStateObserver* observer : observers)
      observer->OnTraceLogDisabled();
    for (const auto& entry : async_observers) {
      entry.second.task_runner->PostTask(
          FROM_HERE_WITH_EXPLICIT_FUNCTION("SetDisabledWhileLocked"),
          BindMethod(&AsyncEnabledStateObserver::OnTraceLogDisabled, entry.second.observer));
    }
  }
  dispatching_to_observer_list_ = false;
}

void TraceLog::AddMetadataEventsWhileLocked() {
  for (std::unique_ptr<TraceEvent>& kept : metadata_events_) {
    TraceEvent* trace_event = AddEventToThreadSharedChunkWhileLocked(nullptr, false);
    if (trace_event)
      trace_event->MoveFrom(std::move(kept));
  }

  const int current_thread_id = CurrentThreadId();
  InitializeMetadataEvent(AddEventToThreadSharedChunkWhileLocked(nullptr, false), 0, "num_cpus",
                          "number", kTraceValueTypeInt, IntegerValue(NumberOfProcessors()));
  if (process_sort_index_ != 0) {
    InitializeMetadataEvent(AddEventToThreadSharedChunkWhileLocked(nullptr, false),
                            current_thread_id, "process_sort_index", "sort_index",
                            kTraceValueTypeInt, IntegerValue(process_sort_index_));
  }
  if (!process_name_.empty()) {
    InitializeMetadataEvent(AddEventToThreadSharedChunkWhileLocked(nullptr, false),
                            current_thread_id, "process_name", "name", kTraceValueTypeCopyString,
                            StringValue(process_name_));
  }
  if (!process_labels_.empty()) {
    std::string labels;
    for (const auto& label : process_labels_) {
      if (!labels.empty())
        labels += ",";
      labels += label.second;
    }
    InitializeMetadataEvent(AddEventToThreadSharedChunkWhileLocked(nullptr, false),
                            current_thread_id, "process_labels", "labels",
                            kTraceValueTypeCopyString, StringValue(labels));
  }
  for (const auto& sort_index : thread_sort_indices_) {
    if (sort_index.second == 0)
      continue;
    InitializeMetadataEvent(AddEventToThreadSharedChunkWhileLocked(nullptr, false),
                            sort_index.first, "thread_sort_index", "sort_index",
                            kTraceValueTypeInt, IntegerValue(sort_index.second));
  }
  {
    AutoLock thread_info_lock(thread_info_lock_);
    for (const auto& thread_name : thread_names_) {
      if (thread_name.second.empty())
        continue;
      InitializeMetadataEvent(AddEventToThreadSharedChunkWhileLocked(nullptr, false),
                              thread_name.first, "thread_name", "name",
                              kTraceValueTypeCopyString, StringValue(thread_name.second));
    }
  }
  if (buffer_limit_reached_timestamp_ != 0) {
    InitializeMetadataEvent(AddEventToThreadSharedChunkWhileLocked(nullptr, false),
                            current_thread_id, "trace_buffer_overflowed", "overflowed_at_ts",
                            kTraceValueTypeInt, IntegerValue(buffer_limit_reached_timestamp_));
  }
}

uint8_t TraceLog::enabled_modes() const {
  AutoLock lock(lock_);
  return enabled_modes_;
}

TraceConfig TraceLog::GetCurrentTraceConfig() const {
  AutoLock lock(lock_);
  return trace_config_;
}

int TraceLog::trace_options() const {
  return trace_options_.load(std::memory_order_relaxed);
}

void TraceLog::SetProcessName(const std::string& name) {
  AutoLock lock(lock_);
  process_name_ = name;
}

void TraceLog::SetProcessSortIndex(int sort_index) {
  AutoLock lock(lock_);
  process_sort_index_ = sort_index;
}

void TraceLog::SetProcessLabel(int label_id, const std::string& label) {
  AutoLock lock(lock_);
  if (label.empty())
    process_labels_.erase(label_id);
  else
    process_labels_[label_id] = label;
}

void TraceLog::SetThreadSortIndex(int thread_id, int sort_index) {
  AutoLock lock(lock_);
  thread_sort_indices_[thread_id] = sort_index;
}

void TraceLog::AddEnabledStateObserver(EnabledStateObserver* observer) {
  AutoLock lock(lock_);
  enabled_state_observer_list_.push_back(observer);
}

void TraceLog::RemoveEnabledStateObserver(EnabledStateObserver* observer) {
  AutoLock lock(lock_);
  for (auto it = enabled_state_observer_list_.begin(); it != enabled_state_observer_list_.end();
       ++it) {
    if (*it == observer) {
      enabled_state_observer_list_.erase(it);
      return;
    }
  }
}

void TraceLog::AddAsyncEnabledStateObserver(WeakPtr<AsyncEnabledStateObserver> observer) {
  AsyncEnabledStateObserver* key = observer.get();
  scoped_refptr<SingleThreadTaskRunner> task_runner = CurrentThreadTaskRunner::Get();
  CHECK(key && task_runner) << "an asynchronous observer lives on a thread with a message loop";
  AutoLock lock(lock_);
  async_observers_[key] = RegisteredAsyncObserver{std::move(observer), std::move(task_runner)};
}

void TraceLog::RemoveAsyncEnabledStateObserver(AsyncEnabledStateObserver* observer) {
  AutoLock lock(lock_);
  async_observers_.erase(observer);
}

bool TraceLog::TakeBufferedEventsAsJson(std::string* json,
                                        const TraceEvent::ArgumentFilterPredicate& filter) {
  std::unique_ptr<TraceBuffer> recorded;
  {
    AutoLock lock(lock_);
    if (enabled_modes_ & RECORDING_MODE)
      return false;
    if (thread_shared_chunk_)
      logged_events_->ReturnChunk(thread_shared_chunk_index_, std::move(thread_shared_chunk_));
    recorded = std::move(logged_events_);
    UseNextTraceBuffer();
  }
  std::string out = "[";
  bool first = true;
  while (const TraceBufferChunk* chunk = recorded->NextChunk()) {
    for (size_t i = 0; i < chunk->size(); ++i) {
      if (!first)
        out += ",";
      first = false;
      chunk->GetEventAt(i)->AppendAsJson(&out, filter);
    }
  }
  out += "]";
  json->swap(out);
  return true;
}

bool TraceLog::OnMemoryDump(const MemoryDumpArgs& args, ProcessMemoryDump* pmd) {
  TraceEventMemoryOverhead overhead;
  overhead.Add("TraceLog", sizeof(*this));
  {
    AutoLock lock(lock_);
    if (logged_events_)
      logged_events_->EstimateTraceMemoryOverhead(&overhead);
    for (const std::unique_ptr<TraceEvent>& metadata_event : metadata_events_)
      metadata_event->EstimateTraceMemoryOverhead(&overhead);
  }
  overhead.AddSelf();
  overhead.DumpInto("tracing/main_trace_log", pmd);
  return true;
}

}  // namespace trace_event
}  // namespace base
