#include "base/metrics/task_profiler.h"

namespace base {

void TaskStopwatch::Start() {
  start_time_ = ThreadData::Now();
}

void TaskStopwatch::Stop() {}

// static
void ThreadData::SetUpForCurrentThread(const std::string&) {}

// static
ThreadData* ThreadData::Get() {
  return nullptr;
}

// static
uint32_t ThreadData::Now() {
  return 0;
}

Births* ThreadData::TallyBirth(const Location&) {
  return nullptr;
}

// static
void ThreadData::TallyRunOfTask(const PendingTask&, const TaskStopwatch&, Births*) {}

// static
void ThreadData::TallyDeath(Births*, int32_t, const TaskStopwatch&) {}

}  // namespace base
