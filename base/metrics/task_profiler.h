#ifndef BASE_METRICS_TASK_PROFILER_H_
#define BASE_METRICS_TASK_PROFILER_H_

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>
#include <unordered_map>

#include "base/location.h"
#include "base/synchronization/lock.h"

// The task profiler counts, per thread, the tasks posted from each code location (births)
// and the tasks that finished (deaths) with their queueing and running times. It becomes
// active when the first thread is named and records for the rest of the process. The task
// runtime feeds it when it names threads, posts and runs tasks.
//
// A thread's tallies live in a ThreadData record, written only by that thread; the record
// outlives the thread and is handed to the next thread whose name has the same pattern
// (the name without its trailing digits). Times are u32 milliseconds of the monotonic
// clock; with the switch "profiler-timing=0" every time is 0 and only counts accumulate.

namespace base {

class CommandLine;
class ThreadData;
struct PendingTask;

// The tasks posted from one location by one thread's record.
class Births {
 public:
  Births(const Location& location, ThreadData* birth_thread);
  Births(const Births&) = delete;
  Births& operator=(const Births&) = delete;

  const Location& location() const { return location_; }
  ThreadData* birth_thread() const { return birth_thread_; }
  int32_t birth_count() const { return birth_count_; }

  void RecordBirth() { ++birth_count_; }

 private:
  const Location location_;
  ThreadData* const birth_thread_;
  int32_t birth_count_ = 0;
};

// The finished tasks of one Births, with their durations in milliseconds.
struct DeathData {
  // Counts saturate at 0x7FFFFFFF, sums too.
  void RecordDeath(int32_t queue_duration, int32_t run_duration, uint32_t random_number);

  int32_t count = 0;
  int32_t sample_probability_count = 0;
  int32_t run_duration_sum = 0;
  int32_t queue_duration_sum = 0;
  int32_t run_duration_max = 0;
  int32_t queue_duration_max = 0;
  // The durations of one task chosen at random among them.
  int32_t run_duration_sample = 0;
  int32_t queue_duration_sample = 0;
};

// Measures a task's run time, excluding the time of stopwatches started inside it on the
// same thread. Start and Stop are called once each, on one thread.
class TaskStopwatch {
 public:
  TaskStopwatch() = default;
  TaskStopwatch(const TaskStopwatch&) = delete;
  TaskStopwatch& operator=(const TaskStopwatch&) = delete;

  void Start();
  void Stop();

  // ThreadData::Now at Start.
  uint32_t start_time() const { return start_time_; }
  uint32_t wall_duration() const { return wall_duration_; }
  uint32_t excluded_duration() const { return excluded_duration_; }
  // The wall duration less the excluded one (never negative).
  int32_t RunDuration() const;
  // The record of the thread that ran it; null before the profiler is active.
  ThreadData* thread_data() const { return thread_data_; }

 private:
  uint32_t start_time_ = 0;
  uint32_t wall_duration_ = 0;
  ThreadData* thread_data_ = nullptr;
  uint32_t excluded_duration_ = 0;
  TaskStopwatch* parent_ = nullptr;
};

// The profiler's record of one thread, or of a name pattern of threads.
class ThreadData {
 public:
  enum Status {
    UNINITIALIZED = 0,
    DORMANT_DURING_TESTS = 1,
    DEACTIVATED = 2,
    PROFILING_ACTIVE = 3,
  };

  ThreadData(const ThreadData&) = delete;
  ThreadData& operator=(const ThreadData&) = delete;

  // Called when a thread is named (except "BrokerEvent"): activates the profiler and gives
  // the thread the record of its name pattern, unless it has a record already.
  static void SetUpForCurrentThread(const std::string& thread_name);

  // The calling thread's record; an unnamed thread gets one of the pattern
  // "WorkerThread-*". Null while the profiler is not active.
  static ThreadData* Get();

  // Profiler time in milliseconds; 0 while the profiler is not active or timing is off.
  static uint32_t Now();

  static Status status();

  // Counts a task posted from |location| by this thread.
  Births* TallyBirth(const Location& location);

  // A message loop after running |task|, posted with |births| (null when the posting thread
  // had no record: nothing is counted then).
  static void TallyRunOfTask(const PendingTask& task,
                             const TaskStopwatch& stopwatch,
                             Births* births);

  // A worker-pool thread after running a task posted with |births| (may be null).
  static void TallyDeath(Births* births, int32_t queue_duration, const TaskStopwatch& stopwatch);

  // The name pattern: the thread name without its trailing digits, followed by "*".
  const std::string& thread_name() const { return thread_name_; }

  // A copy of the deaths counted for |births|; false when none were. Any thread.
  bool GetDeathData(const Births* births, DeathData* death_data) const;

  // Whether |command_line| (null: not made yet) lets the profiler measure time.
  static bool IsTimingEnabledBy(const CommandLine* command_line);

 private:
  struct LocationKey {
    const char* file_name;
    int32_t line;
    bool operator==(const LocationKey& other) const {
      return file_name == other.file_name && line == other.line;
    }
  };
  struct LocationKeyHash {
    size_t operator()(const LocationKey& key) const;
  };

  explicit ThreadData(const std::string& name_pattern);
  ~ThreadData();

  static void Initialize();
  static bool IsTimingEnabled();
  static ThreadData* GetRetiredOrCreateThreadData(const std::string& name_pattern);
  static void OnThreadTermination(void* thread_data);

  void TallyADeath(const Births& births, int32_t queue_duration, const TaskStopwatch& stopwatch);

  friend class TaskStopwatch;

  ThreadData* next_ = nullptr;          // The list of all records, under the list lock.
  ThreadData* next_retired_ = nullptr;  // The retired records, under the list lock.
  const std::string thread_name_;
  // Written only by the owning thread; insertions also hold map_lock_, so that other
  // threads may read under it.
  std::unordered_map<LocationKey, Births*, LocationKeyHash> birth_map_;
  std::map<const Births*, DeathData> death_map_;
  mutable Lock map_lock_;
  uint32_t random_number_ = 0;
  int32_t incarnation_count_ = 0;
  TaskStopwatch* current_stopwatch_ = nullptr;
};

}  // namespace base

#endif  // BASE_METRICS_TASK_PROFILER_H_
