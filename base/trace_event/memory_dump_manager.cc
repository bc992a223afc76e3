#include "base/trace_event/memory_dump_manager.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/threading/thread.h"
#include "base/trace_event/heap_context_tracker.h"
#include "base/trace_event/memory_infra_background_whitelist.h"
#include "base/trace_event/process_memory_dump.h"
#include "base/trace_event/trace_event.h"

namespace base {
namespace trace_event {

namespace {

constexpr char kLogPrefix[] = "Memory-infra dump";
constexpr char kHeapProfilingSwitch[] = "enable-heap-profiling";

// Providers whose state belongs to one thread: they must unregister there. The names of
// providers other programs of the product register are listed too.
const char* const kStrictThreadCheckWhitelist[] = {
    "AudioBuffers",     "BlobStorage",     "ClientDiscardableManager", "CommandBuffer",
    "DiskCache",        "FontCaches",      "GpuMemoryBuffers",         "HttpNetworkSession",
    "ImageDecodeCache", "IndexedStore",    "KeyValueStore",            "MediaBuffers",
    "NetworkSession",   "ResourceCache",   "ScriptHeap",               "SharedMemoryTracker",
    "SocketPool",       "Sql",             "SurfaceCache",             "ThreadLocalEventBuffer",
    "TileManager",      "TraceLog",        "UiLayers",                 "WebCache",
};

std::atomic<uint64_t> g_next_dump_guid{0};

LazyInstance<MemoryDumpManager, LazyInstanceEnd::kLeaked> g_memory_dump_manager;

// A metadata argument that writes one of a recording's deduplicators; it keeps the
// recording's state alive until the metadata is written.
class DeduplicatorMetadata : public ConvertableToTraceFormat {
 public:
  DeduplicatorMetadata(scoped_refptr<MemoryDumpSessionState> session_state,
                       ConvertableToTraceFormat* deduplicator)
      : session_state_(std::move(session_state)), deduplicator_(deduplicator) {}

  void AppendAsTraceFormat(std::string* out) const override {
    deduplicator_->AppendAsTraceFormat(out);
  }

 private:
  const scoped_refptr<MemoryDumpSessionState> session_state_;
  ConvertableToTraceFormat* const deduplicator_;
};

void AddDeduplicatorMetadataEvent(const char* name,
                                  scoped_refptr<MemoryDumpSessionState> session_state,
                                  ConvertableToTraceFormat* deduplicator) {
  const unsigned char type = kTraceValueTypeConvertable;
  const uint64_t no_value = 0;
  std::unique_ptr<ConvertableToTraceFormat> metadata =
      std::make_unique<DeduplicatorMetadata>(std::move(session_state), deduplicator);
  TraceLog::GetInstance()->AddMetadataEvent(TraceLog::GetCategoryEnabledFlag("__metadata"), name,
                                            1, &name, &type, &no_value, &metadata,
                                            kTraceEventFlagNone);
}

}  // namespace

const char MemoryDumpManager::kTraceCategory[] = "disabled-by-default-memory-infra";

struct MemoryDumpManager::MemoryDumpProviderInfo
    : public RefCountedThreadSafe<MemoryDumpProviderInfo> {
  MemoryDumpProviderInfo(MemoryDumpProvider* provider,
                         const char* provider_name,
                         scoped_refptr<SingleThreadTaskRunner> runner,
                         const MemoryDumpProvider::Options& provider_options,
                         bool whitelisted)
      : dump_provider(provider),
        name(provider_name),
        task_runner(std::move(runner)),
        options(provider_options),
        whitelisted_for_background_mode(whitelisted) {}

  MemoryDumpProvider* const dump_provider;
  const char* const name;
  const scoped_refptr<SingleThreadTaskRunner> task_runner;  // Null: the dump thread.
  const MemoryDumpProvider::Options options;
  int consecutive_failures = 0;  // On the provider's thread.
  bool disabled = false;         // Under the manager's lock.
  const bool whitelisted_for_background_mode;

 private:
  friend class RefCountedThreadSafe<MemoryDumpProviderInfo>;
  ~MemoryDumpProviderInfo() = default;
};

// One CreateProcessDump on its way through the providers.
struct MemoryDumpManager::ProcessMemoryDumpAsyncState
    : public RefCountedThreadSafe<ProcessMemoryDumpAsyncState> {
  ProcessMemoryDumpAsyncState(const MemoryDumpRequestArgs& args,
                              const ProcessMemoryDumpCallback& dump_callback)
      : request_args(args),
        process_memory_dump(
            std::make_unique<ProcessMemoryDump>(MemoryDumpArgs{args.level_of_detail})),
        callback(dump_callback),
        callback_task_runner(CurrentThreadTaskRunner::Get()) {}

  const MemoryDumpRequestArgs request_args;
  // The providers still to ask, the next one last.
  std::vector<scoped_refptr<MemoryDumpProviderInfo>> pending_providers;
  std::unique_ptr<ProcessMemoryDump> process_memory_dump;
  const ProcessMemoryDumpCallback callback;
  const scoped_refptr<SingleThreadTaskRunner> callback_task_runner;
  scoped_refptr<SingleThreadTaskRunner> dump_thread_task_runner;
  bool dump_successful = true;

 private:
  friend class RefCountedThreadSafe<ProcessMemoryDumpAsyncState>;
  ~ProcessMemoryDumpAsyncState() = default;
};

bool MemoryDumpManager::ProviderInfoOrder::operator()(
    const scoped_refptr<MemoryDumpProviderInfo>& a,
    const scoped_refptr<MemoryDumpProviderInfo>& b) const {
  if (!a || !b)
    return a.get() < b.get();
  // Descending, so that providers without a task runner come last.
  return std::make_tuple(a->task_runner.get(), a->dump_provider) >
         std::make_tuple(b->task_runner.get(), b->dump_provider);
}

size_t MemoryDumpManager::NameHash::operator()(const std::string& name) const {
  size_t hash = 0;
  for (const char c : name)
    hash = hash * 131 + static_cast<unsigned char>(c);
  return hash;
}

// static
MemoryDumpManager* MemoryDumpManager::GetInstance() {
  return g_memory_dump_manager.Pointer();
}

MemoryDumpManager::MemoryDumpManager() {
  g_next_dump_guid.fetch_add(1);
  ApplyHeapProfilingSwitch();
  for (const char* name : kStrictThreadCheckWhitelist)
    strict_thread_check_whitelist_.insert(name);
}

MemoryDumpManager::~MemoryDumpManager() {
  if (observing_trace_log_)
    TraceLog::GetInstance()->RemoveEnabledStateObserver(this);
  std::unique_ptr<Thread> dump_thread;
  {
    AutoLock lock(lock_);
    dump_thread = std::move(dump_thread_);
    dump_providers_.clear();
  }
  if (dump_thread) {
    dump_thread->GetTaskRunner()->PostTask(
        FROM_HERE_WITH_EXPLICIT_FUNCTION("~MemoryDumpManager"),
        BindMethod(&MemoryDumpManager::StopPeriodicTimer, this));
    dump_thread->Stop();
  }
  dump_providers_for_polling_.clear();
}

void MemoryDumpManager::ApplyHeapProfilingSwitch() {
  const CommandLine* command_line = CommandLine::ForCurrentProcess();
  if (!command_line || !command_line->HasSwitch(kHeapProfilingSwitch))
    return;
  const std::string mode = command_line->GetSwitchValueASCII(kHeapProfilingSwitch);
  if (!mode.empty()) {
    // Only the pseudo-stack mode exists; any other leaves the profiler off.
    LOG(ERROR) << "Heap profiling mode \"" << mode
               << "\" is not supported; heap profiling stays off";
    return;
  }
  HeapContextTracker::EnablePseudoStackCapture();
  std::vector<scoped_refptr<MemoryDumpProviderInfo>> providers;
  {
    AutoLock lock(lock_);
    providers.assign(dump_providers_.begin(), dump_providers_.end());
  }
  for (const auto& info : providers)
    info->dump_provider->OnHeapProfilingEnabled(true);
  heap_profiling_enabled_ = true;
}

void MemoryDumpManager::Initialize(MemoryDumpManagerDelegate* delegate) {
  {
    AutoLock lock(lock_);
    delegate_ = delegate;
  }
  if (!observing_trace_log_) {
    observing_trace_log_ = true;
    TraceLog::GetInstance()->AddEnabledStateObserver(this);
  }
}

void MemoryDumpManager::RegisterDumpProvider(MemoryDumpProvider* mdp,
                                             const char* name,
                                             scoped_refptr<SingleThreadTaskRunner> task_runner) {
  RegisterDumpProvider(mdp, name, std::move(task_runner), MemoryDumpProvider::Options());
}

void MemoryDumpManager::RegisterDumpProvider(MemoryDumpProvider* mdp,
                                             const char* name,
                                             scoped_refptr<SingleThreadTaskRunner> task_runner,
                                             const MemoryDumpProvider::Options& options) {
  auto info = MakeRefCounted<MemoryDumpProviderInfo>(mdp, name, std::move(task_runner), options,
                                                     IsMemoryDumpProviderWhitelisted(name));
  {
    AutoLock lock(lock_);
    const bool inserted = dump_providers_.insert(info).second;
    if (inserted && options.is_fast_polling_supported && dump_thread_) {
      dump_thread_->GetTaskRunner()->PostTask(
          FROM_HERE_WITH_EXPLICIT_FUNCTION("RegisterDumpProviderInternal"),
          BindMethod(&MemoryDumpManager::AddToPollingSet, this, info));
    }
  }
  if (heap_profiling_enabled_)
    mdp->OnHeapProfilingEnabled(true);
}

void MemoryDumpManager::UnregisterDumpProvider(MemoryDumpProvider* mdp) {
  AutoLock lock(lock_);
  auto it = dump_providers_.begin();
  while (it != dump_providers_.end() && (*it)->dump_provider != mdp)
    ++it;
  if (it == dump_providers_.end())
    return;
  const scoped_refptr<MemoryDumpProviderInfo> info = *it;
  if (info->task_runner && strict_thread_check_whitelist_.count(info->name)) {
    DCHECK(info->task_runner->RunsTasksOnCurrentThread())
        << "The dump provider " << info->name << " unregisters off its own thread";
  }
  if (info->options.is_fast_polling_supported && dump_thread_) {
    dump_thread_->GetTaskRunner()->PostTask(
        FROM_HERE_WITH_EXPLICIT_FUNCTION("UnregisterDumpProviderInternal"),
        BindMethod(&MemoryDumpManager::RemoveFromPollingSet, this, info));
  }
  // A dump on its way skips it from now on.
  info->disabled = true;
  dump_providers_.erase(it);
}

void MemoryDumpManager::AddToPollingSet(scoped_refptr<MemoryDumpProviderInfo> info) {
  dump_providers_for_polling_.insert(std::move(info));
}

void MemoryDumpManager::RemoveFromPollingSet(scoped_refptr<MemoryDumpProviderInfo> info) {
  info->dump_provider->SuspendFastMemoryPolling();
  dump_providers_for_polling_.erase(info);
}

void MemoryDumpManager::RequestGlobalDump(MemoryDumpType dump_type,
                                          MemoryDumpLevelOfDetail level_of_detail,
                                          const GlobalMemoryDumpCallback& callback) {
  if (!IsMemoryTracingEnabled() || !IsDumpModeAllowed(level_of_detail)) {
    VLOG(1) << kLogPrefix << " failed because " << kTraceCategory
            << " tracing category is not enabled or the requested dump mode is not allowed by "
               "trace config.";
    if (callback)
      callback.Run(0, false);
    return;
  }

  const uint64_t guid = TraceLog::GetInstance()->MangleEventId(g_next_dump_guid.fetch_add(1) + 1);
  TRACE_EVENT_NESTABLE_ASYNC_BEGIN0(kTraceCategory, "GlobalMemoryDump", guid);
  const GlobalMemoryDumpCallback end_and_answer =
      BindLambda([guid, callback](uint64_t dump_guid, bool success) {
        TRACE_EVENT_NESTABLE_ASYNC_END1(kTraceCategory, "GlobalMemoryDump", guid, "success",
                                        success);
        if (callback)
          callback.Run(dump_guid, success);
      });

  MemoryDumpManagerDelegate* delegate;
  {
    AutoLock lock(lock_);
    delegate = delegate_;
  }
  if (!delegate) {
    // Nobody can make the dump; the caller still gets an answer.
    end_and_answer.Run(guid, false);
    return;
  }
  MemoryDumpRequestArgs args;
  args.dump_guid = guid;
  args.dump_type = dump_type;
  args.level_of_detail = level_of_detail;
  delegate->RequestGlobalMemoryDump(args, end_and_answer);
}

void MemoryDumpManager::CreateProcessDump(const MemoryDumpRequestArgs& args,
                                          const ProcessMemoryDumpCallback& callback) {
  auto state = MakeRefCounted<ProcessMemoryDumpAsyncState>(args, callback);
  {
    AutoLock lock(lock_);
    state->pending_providers.assign(dump_providers_.rbegin(), dump_providers_.rend());
    if (dump_thread_)
      state->dump_thread_task_runner = dump_thread_->GetTaskRunner();
  }
  ContinueAsyncProcessDump(std::move(state));
}

void MemoryDumpManager::ContinueAsyncProcessDump(
    scoped_refptr<ProcessMemoryDumpAsyncState> state) {
  const bool background =
      state->request_args.level_of_detail == MemoryDumpLevelOfDetail::kBackground;
  while (!state->pending_providers.empty()) {
    const scoped_refptr<MemoryDumpProviderInfo> info = state->pending_providers.back();
    const scoped_refptr<SingleThreadTaskRunner> task_runner =
        info->task_runner ? info->task_runner : state->dump_thread_task_runner;
    if (task_runner && !task_runner->RunsTasksOnCurrentThread()) {
      if (task_runner->PostTask(FROM_HERE_WITH_EXPLICIT_FUNCTION("ContinueAsyncProcessDump"),
                                BindMethod(&MemoryDumpManager::ContinueAsyncProcessDump, this,
                                           state))) {
        return;
      }
      LOG(ERROR) << kLogPrefix << ": the thread of the dump provider " << info->name
                 << " is gone; it is not asked again";
      AutoLock lock(lock_);
      info->disabled = true;
      state->dump_successful = false;
      state->pending_providers.pop_back();
      continue;
    }
    state->pending_providers.pop_back();

    bool disabled;
    {
      AutoLock lock(lock_);
      disabled = info->disabled;
    }
    if (disabled || (background && !info->whitelisted_for_background_mode))
      continue;
    MemoryDumpArgs dump_args;
    dump_args.level_of_detail = state->request_args.level_of_detail;
    if (info->dump_provider->OnMemoryDump(dump_args, state->process_memory_dump.get())) {
      info->consecutive_failures = 0;
      continue;
    }
    state->dump_successful = false;
    if (++info->consecutive_failures >= kMaxConsecutiveFailuresCount) {
      LOG(ERROR) << kLogPrefix << ": the dump provider " << info->name << " failed "
                 << kMaxConsecutiveFailuresCount << " times in a row; it is not asked again";
      AutoLock lock(lock_);
      info->disabled = true;
    }
  }

  if (state->callback_task_runner && !state->callback_task_runner->RunsTasksOnCurrentThread()) {
    const scoped_refptr<SingleThreadTaskRunner> callback_task_runner =
        state->callback_task_runner;
    if (callback_task_runner->PostTask(
            FROM_HERE_WITH_EXPLICIT_FUNCTION("FinishAsyncProcessDump"),
            BindMethod(&MemoryDumpManager::FinishAsyncProcessDump, this, std::move(state)))) {
      return;
    }
    LOG(ERROR) << kLogPrefix << ": the requesting thread is gone; the dump is dropped";
    return;
  }
  FinishAsyncProcessDump(std::move(state));
}

void MemoryDumpManager::FinishAsyncProcessDump(scoped_refptr<ProcessMemoryDumpAsyncState> state) {
  if (state->callback) {
    state->callback.Run(state->request_args.dump_guid, state->dump_successful,
                        state->process_memory_dump.get());
  }
}

bool MemoryDumpManager::IsDumpModeAllowed(MemoryDumpLevelOfDetail level_of_detail) const {
  AutoLock lock(lock_);
  return session_state_ && session_state_->IsDumpModeAllowed(level_of_detail);
}

scoped_refptr<MemoryDumpSessionState> MemoryDumpManager::session_state() const {
  AutoLock lock(lock_);
  return session_state_;
}

std::vector<std::string> MemoryDumpManager::GetDumpProviderNames() const {
  AutoLock lock(lock_);
  std::vector<std::string> names;
  for (const auto& info : dump_providers_)
    names.push_back(info->name);
  return names;
}

void MemoryDumpManager::OnTraceLogEnabled() {
  const unsigned char* category_flag = TraceLog::GetCategoryEnabledFlag(kTraceCategory);
  if (!(*category_flag & (TraceLog::kEnabledForRecording | TraceLog::kEnabledForEtwExport)))
    return;

  TraceLog* trace_log = TraceLog::GetInstance();
  trace_log->InitializeThreadLocalEventBufferIfSupported();
  const TraceConfig trace_config = trace_log->GetCurrentTraceConfig();

  auto dump_thread = std::make_unique<Thread>("MemoryInfra");
  if (!dump_thread->Start()) {
    LOG(ERROR) << "Failed to start the memory-infra thread for tracing";
    return;
  }

  auto session_state = MakeRefCounted<MemoryDumpSessionState>();
  session_state->SetMemoryDumpConfig(trace_config.memory_dump_config);
  if (heap_profiling_enabled_) {
    session_state->SetStackFrameDeduplicator(std::make_unique<StackFrameDeduplicator>());
    session_state->SetTypeNameDeduplicator(std::make_unique<TypeNameDeduplicator>());
    AddDeduplicatorMetadataEvent("stackFrames", session_state,
                                 session_state->stack_frame_deduplicator());
    AddDeduplicatorMetadataEvent("typeNames", session_state,
                                 session_state->type_name_deduplicator());
  }

  std::vector<TraceConfig::MemoryDumpTrigger> periodic_triggers;
  for (const TraceConfig::MemoryDumpTrigger& trigger : trace_config.memory_dump_config.triggers) {
    if (trigger.trigger_type == TraceConfig::TriggerType::kPeriodicInterval)
      periodic_triggers.push_back(trigger);
  }

  scoped_refptr<SingleThreadTaskRunner> dump_task_runner = dump_thread->GetTaskRunner();
  {
    AutoLock lock(lock_);
    session_state_ = session_state;
    dump_thread_ = std::move(dump_thread);
    memory_tracing_enabled_.store(1);
  }
  // The polling set belongs to the dump thread: a new thread starts with an empty one.
  dump_task_runner->PostTask(FROM_HERE_WITH_EXPLICIT_FUNCTION("OnTraceLogEnabled"),
                             BindLambda([this] { dump_providers_for_polling_.clear(); }));
  if (!periodic_triggers.empty()) {
    dump_task_runner->PostTask(
        FROM_HERE_WITH_EXPLICIT_FUNCTION("OnTraceLogEnabled"),
        BindMethod(&MemoryDumpManager::StartPeriodicTimer, this, std::move(periodic_triggers)));
  }
}

void MemoryDumpManager::OnTraceLogDisabled() {
  if (!IsMemoryTracingEnabled())
    return;
  memory_tracing_enabled_.store(0);
  std::unique_ptr<Thread> dump_thread;
  {
    AutoLock lock(lock_);
    dump_thread = std::move(dump_thread_);
    session_state_ = nullptr;
  }
  if (dump_thread) {
    // Runs on the dump thread before it stops: the timer and the polling set are its own.
    dump_thread->GetTaskRunner()->PostTask(
        FROM_HERE_WITH_EXPLICIT_FUNCTION("OnTraceLogDisabled"), BindLambda([this] {
          StopPeriodicTimer();
          for (const auto& info : dump_providers_for_polling_)
            info->dump_provider->SuspendFastMemoryPolling();
          dump_providers_for_polling_.clear();
        }));
    dump_thread->Stop();
  }
}

void MemoryDumpManager::StartPeriodicTimer(std::vector<TraceConfig::MemoryDumpTrigger> triggers) {
  uint32_t shortest_period = 0;
  uint32_t light_period = 0;
  uint32_t heavy_period = 0;
  for (const TraceConfig::MemoryDumpTrigger& trigger : triggers) {
    if (trigger.period_ms == 0) {
      LOG(ERROR) << kLogPrefix << ": a periodic trigger needs a period above 0; no periodic dumps";
      return;
    }
    if (!shortest_period || trigger.period_ms < shortest_period)
      shortest_period = trigger.period_ms;
    if (trigger.level_of_detail == static_cast<uint32_t>(MemoryDumpLevelOfDetail::kLight))
      light_period = trigger.period_ms;
    else if (trigger.level_of_detail == static_cast<uint32_t>(MemoryDumpLevelOfDetail::kDetailed))
      heavy_period = trigger.period_ms;
  }
  periodic_dumps_count_ = 0;
  light_dump_rate_ = light_period / shortest_period;
  heavy_dump_rate_ = heavy_period / shortest_period;
  periodic_dump_timer_.Start(FROM_HERE_WITH_EXPLICIT_FUNCTION("Unknown"),
                             TimeDelta::FromMilliseconds(shortest_period),
                             BindMethod(&MemoryDumpManager::OnPeriodicTimer, this));
}

void MemoryDumpManager::StopPeriodicTimer() {
  periodic_dump_timer_.Stop();
}

void MemoryDumpManager::OnPeriodicTimer() {
  MemoryDumpLevelOfDetail level_of_detail = MemoryDumpLevelOfDetail::kBackground;
  if (light_dump_rate_ && periodic_dumps_count_ % light_dump_rate_ == 0)
    level_of_detail = MemoryDumpLevelOfDetail::kLight;
  if (heavy_dump_rate_ && periodic_dumps_count_ % heavy_dump_rate_ == 0)
    level_of_detail = MemoryDumpLevelOfDetail::kDetailed;
  ++periodic_dumps_count_;
  RequestGlobalDump(MemoryDumpType::kPeriodicInterval, level_of_detail, GlobalMemoryDumpCallback());
}

}  // namespace trace_event
}  // namespace base
