#include "base/pending_task.h"

#include <utility>

namespace base {

PendingTask::PendingTask(const Location& posted_from, Closure task)
    : task(std::move(task)), posted_from(posted_from) {}

PendingTask::PendingTask(const Location& posted_from, Closure task, TimeTicks delayed_run_time)
    : task(std::move(task)), posted_from(posted_from), delayed_run_time(delayed_run_time) {}

PendingTask::PendingTask(PendingTask&& other) noexcept = default;
PendingTask& PendingTask::operator=(PendingTask&& other) noexcept = default;
PendingTask::~PendingTask() = default;

bool PendingTask::operator<(const PendingTask& other) const {
  if (delayed_run_time != other.delayed_run_time)
    return delayed_run_time > other.delayed_run_time;
  // Sequence numbers wrap around: the difference tells which was posted later.
  const int32_t difference = static_cast<int32_t>(static_cast<uint32_t>(sequence_num) -
                                                  static_cast<uint32_t>(other.sequence_num));
  return difference > 0;
}

}  // namespace base
