#include "base/metrics/task_profiler.h"

#include <atomic>
#include <limits>

#include "base/command_line.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/pending_task.h"
#include "base/threading/thread_local_slot.h"
#include "base/time/time.h"

namespace base {

namespace {

constexpr char kWorkerThreadPattern[] = "WorkerThread-*";
constexpr char kProfilerTimingSwitch[] = "profiler-timing";

enum TimingDecision : int { kTimingUnknown = 0, kTimingEnabled = 1, kTimingDisabled = 2 };

std::atomic<int> g_status{ThreadData::UNINITIALIZED};
std::atomic<int> g_timing_decision{kTimingUnknown};

// Guards initialisation and the record lists below.
LazyInstance<Lock>::Leaky g_list_lock;
// Reserved once, under the list lock, before the status becomes active.
ThreadLocalSlot g_thread_data_slot;
int32_t g_incarnation_counter = 0;        // Under the list lock.
ThreadData* g_all_thread_data = nullptr;  // Under the list lock.
ThreadData* g_first_retired = nullptr;    // Under the list lock.
int32_t g_retired_count = 0;              // Under the list lock.

int32_t SaturatedAdd32(int32_t sum, int32_t value) {
  const int64_t result = static_cast<int64_t>(sum) + value;
  if (result > std::numeric_limits<int32_t>::max())
    return std::numeric_limits<int32_t>::max();
  if (result < std::numeric_limits<int32_t>::min())
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(result);
}

// "Worker 12" and "Worker 7" share the pattern "Worker *".
std::string GetNamePattern(const std::string& thread_name) {
  size_t end = thread_name.size();
  while (end > 0 && thread_name[end - 1] >= '0' && thread_name[end - 1] <= '9')
    --end;
  if (end == thread_name.size())
    return thread_name;
  return thread_name.substr(0, end) + "*";
}

}  // namespace

Births::Births(const Location& location, ThreadData* birth_thread)
    : location_(location), birth_thread_(birth_thread) {}

void DeathData::RecordDeath(int32_t queue_duration, int32_t run_duration, uint32_t random_number) {
  if (count < std::numeric_limits<int32_t>::max())
    ++count;
  if (sample_probability_count < std::numeric_limits<int32_t>::max())
    ++sample_probability_count;
  CHECK(sample_probability_count > 0);
  run_duration_sum = SaturatedAdd32(run_duration_sum, run_duration);
  queue_duration_sum = SaturatedAdd32(queue_duration_sum, queue_duration);
  if (run_duration_max < run_duration)
    run_duration_max = run_duration;
  if (queue_duration_max < queue_duration)
    queue_duration_max = queue_duration;
  // Reservoir sampling: each task of the N so far is the sample with probability 1/N.
  if (random_number % static_cast<uint32_t>(sample_probability_count) == 0) {
    run_duration_sample = run_duration;
    queue_duration_sample = queue_duration;
  }
}

void TaskStopwatch::Start() {
  start_time_ = ThreadData::Now();
  thread_data_ = ThreadData::Get();
  if (!thread_data_)
    return;
  parent_ = thread_data_->current_stopwatch_;
  thread_data_->current_stopwatch_ = this;
}

void TaskStopwatch::Stop() {
  const uint32_t end_time = ThreadData::Now();
  if (start_time_ && end_time)
    wall_duration_ = end_time - start_time_;
  if (!thread_data_)
    return;
  thread_data_->current_stopwatch_ = parent_;
  if (parent_)
    parent_->excluded_duration_ += wall_duration_;
}

int32_t TaskStopwatch::RunDuration() const {
  // A stopwatch started before the profiler measured time has no wall duration of its own.
  return wall_duration_ > excluded_duration_
             ? static_cast<int32_t>(wall_duration_ - excluded_duration_)
             : 0;
}

size_t ThreadData::LocationKeyHash::operator()(const LocationKey& key) const {
  return std::hash<const void*>()(key.file_name) * 31 + static_cast<size_t>(key.line);
}

ThreadData::ThreadData(const std::string& name_pattern) : thread_name_(name_pattern) {
  random_number_ += static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this) / sizeof(*this));
  random_number_ ^= Now();
  AutoLock lock(g_list_lock.Get());
  incarnation_count_ = g_incarnation_counter;
  next_ = g_all_thread_data;
  g_all_thread_data = this;
}

// Records live until the process ends.
ThreadData::~ThreadData() = default;

// static
ThreadData::Status ThreadData::status() {
  return static_cast<Status>(g_status.load(std::memory_order_acquire));
}

// static
void ThreadData::Initialize() {
  if (g_status.load(std::memory_order_acquire) >= DEACTIVATED)
    return;
  AutoLock lock(g_list_lock.Get());
  if (g_status.load(std::memory_order_relaxed) >= DEACTIVATED)
    return;
  if (!g_thread_data_slot.initialized())
    g_thread_data_slot.Initialize(&ThreadData::OnThreadTermination);
  ++g_incarnation_counter;
  g_status.store(PROFILING_ACTIVE, std::memory_order_release);
}

// static
bool ThreadData::IsTimingEnabledBy(const CommandLine* command_line) {
  return !command_line || command_line->GetSwitchValueASCII(kProfilerTimingSwitch) != "0";
}

// static
bool ThreadData::IsTimingEnabled() {
  int decision = g_timing_decision.load(std::memory_order_relaxed);
  if (decision == kTimingUnknown) {
    const CommandLine* command_line = CommandLine::ForCurrentProcess();
    // Until the command line exists the answer is not final.
    if (!command_line)
      return true;
    decision = IsTimingEnabledBy(command_line) ? kTimingEnabled : kTimingDisabled;
    g_timing_decision.store(decision, std::memory_order_relaxed);
  }
  return decision == kTimingEnabled;
}

// static
uint32_t ThreadData::Now() {
  if (g_status.load(std::memory_order_relaxed) < PROFILING_ACTIVE || !IsTimingEnabled())
    return 0;
  const int64_t now = TimeTicks::Now().ToInternalValue();
  if (now == std::numeric_limits<int64_t>::max())
    return std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(now / kMicrosecondsPerMillisecond);
}

// static
void ThreadData::SetUpForCurrentThread(const std::string& thread_name) {
  if (status() >= DEACTIVATED && g_thread_data_slot.Get())
    return;
  Initialize();
  if (g_thread_data_slot.Get())
    return;
  g_thread_data_slot.Set(GetRetiredOrCreateThreadData(GetNamePattern(thread_name)));
}

// static
ThreadData* ThreadData::Get() {
  if (status() < DEACTIVATED)
    return nullptr;
  ThreadData* thread_data = static_cast<ThreadData*>(g_thread_data_slot.Get());
  if (thread_data)
    return thread_data;
  thread_data = GetRetiredOrCreateThreadData(kWorkerThreadPattern);
  g_thread_data_slot.Set(thread_data);
  return thread_data;
}

// static
ThreadData* ThreadData::GetRetiredOrCreateThreadData(const std::string& name_pattern) {
  const TimeTicks start = TimeTicks::Now();
  ThreadData* thread_data = nullptr;
  {
    AutoLock lock(g_list_lock.Get());
    for (ThreadData** link = &g_first_retired; *link; link = &(*link)->next_retired_) {
      if ((*link)->thread_name_ == name_pattern) {
        thread_data = *link;
        *link = thread_data->next_retired_;
        thread_data->next_retired_ = nullptr;
        break;
      }
    }
  }
  if (!thread_data)
    thread_data = new ThreadData(name_pattern);

  static HistogramBase* const histogram =
      Histogram::FactoryTimeGet("TrackedObjects.GetRetiredOrCreateThreadData",
                                TimeDelta::FromMilliseconds(1), TimeDelta::FromSeconds(10));
  histogram->Add(static_cast<HistogramBase::Sample>((TimeTicks::Now() - start).InMilliseconds()));
  return thread_data;
}

// static
void ThreadData::OnThreadTermination(void* value) {
  ThreadData* thread_data = static_cast<ThreadData*>(value);
  // A thread that ended inside a stopwatch (ExitThread from a task) must not leave the next
  // owner a dangling one.
  thread_data->current_stopwatch_ = nullptr;
  AutoLock lock(g_list_lock.Get());
  if (thread_data->incarnation_count_ != g_incarnation_counter)
    return;
  ++g_retired_count;
  thread_data->next_retired_ = g_first_retired;
  g_first_retired = thread_data;
}

Births* ThreadData::TallyBirth(const Location& location) {
  const LocationKey key = {location.file_name(), location.line()};
  Births* births = nullptr;
  // Only this thread inserts, so it may look up without the lock.
  const auto it = birth_map_.find(key);
  if (it != birth_map_.end()) {
    births = it->second;
  } else {
    births = new Births(location, this);
    AutoLock lock(map_lock_);
    birth_map_[key] = births;
  }
  births->RecordBirth();
  return births;
}

// static
void ThreadData::TallyRunOfTask(const PendingTask& task,
                                const TaskStopwatch& stopwatch,
                                Births* births) {
  ThreadData* current = stopwatch.thread_data();
  if (!current || !births)
    return;
  int32_t queue_duration = 0;
  if (const uint32_t start = stopwatch.start_time()) {
    const uint32_t posted = task.delayed_run_time.is_null()
                                ? task.time_posted
                                : static_cast<uint32_t>(task.delayed_run_time.ToInternalValue() /
                                                        kMicrosecondsPerMillisecond);
    queue_duration = static_cast<int32_t>(start - posted);
  }
  current->TallyADeath(*births, queue_duration, stopwatch);
}

// static
void ThreadData::TallyDeath(Births* births,
                            int32_t queue_duration,
                            const TaskStopwatch& stopwatch) {
  ThreadData* current = stopwatch.thread_data();
  if (!current || !births)
    return;
  current->TallyADeath(*births, queue_duration, stopwatch);
}

void ThreadData::TallyADeath(const Births& births,
                             int32_t queue_duration,
                             const TaskStopwatch& stopwatch) {
  const int32_t run_duration = stopwatch.RunDuration();
  random_number_ +=
      static_cast<uint32_t>(run_duration) + static_cast<uint32_t>(queue_duration) + 0x7FFFFFFFu;
  random_number_ ^= static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&births) / sizeof(births));

  DeathData* death_data = nullptr;
  const auto it = death_map_.find(&births);
  if (it != death_map_.end()) {
    death_data = &it->second;
  } else {
    AutoLock lock(map_lock_);
    death_data = &death_map_[&births];
  }
  death_data->RecordDeath(queue_duration, run_duration, random_number_);
}

bool ThreadData::GetDeathData(const Births* births, DeathData* death_data) const {
  AutoLock lock(map_lock_);
  const auto it = death_map_.find(births);
  if (it == death_map_.end())
    return false;
  *death_data = it->second;
  return true;
}

}  // namespace base
