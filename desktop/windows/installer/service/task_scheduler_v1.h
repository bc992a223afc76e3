#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V1_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V1_H_

#include <windows.h>
#include <mstask.h>
#include <wrl/client.h>

#include "desktop/windows/installer/service/task_scheduler.h"

namespace installer {

// Task Scheduler 1.0 (ITaskScheduler / ITask): one ".job" file per task. It has no delay
// for logon and boot triggers, so those run at once (registering one with a configured
// delay logs a warning).
class TaskSchedulerV1 : public TaskScheduler {
 public:
  TaskSchedulerV1();
  ~TaskSchedulerV1() override;

  bool Init() override;
  bool RegisterTask(const ScheduledTaskInfo& info) override;
  bool DeleteTask(const std::wstring& name) override;
  bool IsTaskRegistered(const std::wstring& name) override;
  bool GetTaskInfo(const std::wstring& name, ScheduledTaskInfo* info) override;
  bool GetTaskNames(std::vector<std::wstring>* names) override;

 private:
  Microsoft::WRL::ComPtr<ITask> OpenTask(const std::wstring& name);
  // Fills the task (not yet saved) from |info|.
  bool SetUpTask(ITask* task, const ScheduledTaskInfo& info);

  Microsoft::WRL::ComPtr<ITaskScheduler> scheduler_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V1_H_
