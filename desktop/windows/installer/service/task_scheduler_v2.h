#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_

#include <windows.h>
#include <taskschd.h>
#include <wrl/client.h>

#include "desktop/windows/installer/service/task_scheduler.h"

namespace installer {

// Task Scheduler 2.0 (ITaskService / ITaskDefinition); tasks live in the root folder.
class TaskSchedulerV2 : public TaskScheduler {
 public:
  TaskSchedulerV2();
  ~TaskSchedulerV2() override;

  bool Init() override;
  bool RegisterTask(const ScheduledTaskInfo& info) override;
  bool DeleteTask(const std::wstring& name) override;
  bool IsTaskRegistered(const std::wstring& name) override;
  bool GetTaskInfo(const std::wstring& name, ScheduledTaskInfo* info) override;
  bool GetTaskNames(std::vector<std::wstring>* names) override;

 private:
  // Fills a new task definition from |info|; |user| is the account the task runs as.
  bool SetUpDefinition(ITaskDefinition* definition,
                       const ScheduledTaskInfo& info,
                       const std::wstring& user);

  Microsoft::WRL::ComPtr<ITaskService> service_;
  Microsoft::WRL::ComPtr<ITaskFolder> root_folder_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_
