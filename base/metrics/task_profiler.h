#ifndef BASE_METRICS_TASK_PROFILER_H_
#define BASE_METRICS_TASK_PROFILER_H_

#include <stdint.h>

#include <string>

// Hooks of the task profiler, which counts per thread the tasks posted from each code
// location (births) and the tasks that finished (deaths) with their timings. The task
// runtime calls them when it names threads, posts and runs tasks; until the profiler is
// built they record nothing: no thread has a record and the profiler time is 0.

namespace base {

class Births;
class Location;
struct PendingTask;
class ThreadData;

// Measures a task's run time, excluding the time of stopwatches nested inside it.
class TaskStopwatch {
 public:
  TaskStopwatch() = default;
  TaskStopwatch(const TaskStopwatch&) = delete;
  TaskStopwatch& operator=(const TaskStopwatch&) = delete;

  void Start();
  void Stop();

  uint32_t start_time() const { return start_time_; }

 private:
  uint32_t start_time_ = 0;  // ThreadData::Now at Start.
};

// The profiler's record of one thread (or one name pattern of threads).
class ThreadData {
 public:
  ThreadData(const ThreadData&) = delete;
  ThreadData& operator=(const ThreadData&) = delete;

  // Called when a thread is named (except "BrokerEvent").
  static void SetUpForCurrentThread(const std::string& thread_name);

  // The calling thread's record, or null.
  static ThreadData* Get();

  // Profiler time in milliseconds, 0 while timing is off.
  static uint32_t Now();

  // Counts a task posted from |location| by this thread's record.
  Births* TallyBirth(const Location& location);

  // A message loop after running |task| (posted with |births|, which may be null).
  static void TallyRunOfTask(const PendingTask& task,
                             const TaskStopwatch& stopwatch,
                             Births* births);

  // A worker-pool thread after running a task.
  static void TallyDeath(Births* births, int32_t queue_duration, const TaskStopwatch& stopwatch);

 private:
  ThreadData() = default;
};

}  // namespace base

#endif  // BASE_METRICS_TASK_PROFILER_H_
