#ifndef BASE_PENDING_TASK_H_
#define BASE_PENDING_TASK_H_

#include <stdint.h>

#include <queue>
#include <vector>

#include "base/callback.h"
#include "base/location.h"
#include "base/time/time.h"

namespace base {

class Births;

// A task waiting in a message loop, with what the profiling and tracing hooks read of it.
struct PendingTask {
  PendingTask(const Location& posted_from, Closure task);
  PendingTask(const Location& posted_from, Closure task, TimeTicks delayed_run_time);
  PendingTask(PendingTask&& other) noexcept;
  PendingTask& operator=(PendingTask&& other) noexcept;
  PendingTask(const PendingTask&) = delete;
  PendingTask& operator=(const PendingTask&) = delete;
  ~PendingTask();

  // Ordering of the delayed-task queue (a max-heap): true when this task runs after
  // |other|, by run time and then by sequence number (posting order).
  bool operator<(const PendingTask& other) const;

  Closure task;
  // The code that posted it; the hooks read its program counter.
  Location posted_from;
  // Posting order within one loop, set by the loop; compared with wrap-around.
  int32_t sequence_num = 0;
  // Task-profiler time when posted in milliseconds; 0 while profiling time is off.
  uint32_t time_posted = 0;
  // When a delayed task is due; null for a task to run as soon as possible.
  TimeTicks delayed_run_time;
  // The task profiler's birth record of the posting thread; null when it had none.
  Births* birth_tally = nullptr;
};

using TaskQueue = std::queue<PendingTask>;
using DelayedTaskQueue = std::priority_queue<PendingTask>;

}  // namespace base

#endif  // BASE_PENDING_TASK_H_
