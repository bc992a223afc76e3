#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_

#include <windows.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "desktop/windows/installer/service/task_scheduler.h"

namespace installer {

// Task Scheduler 2.0 (ITaskService / ITaskDefinition); tasks live in the root folder.
//
// With a |fallback| scheduler, a task whose triggers this back end cannot make (E_NOTIMPL,
// as Wine answers for time, logon and boot triggers) is registered there instead, and the
// other operations look at both back ends, so that such a task is found and deleted too.
// The fallback is initialised when first needed.
class TaskSchedulerV2 : public TaskScheduler {
 public:
  explicit TaskSchedulerV2(std::unique_ptr<TaskScheduler> fallback = nullptr);
  ~TaskSchedulerV2() override;

  bool Init() override;
  bool RegisterTask(const ScheduledTaskInfo& info) override;
  bool DeleteTask(const std::wstring& name) override;
  bool IsTaskRegistered(const std::wstring& name) override;
  bool GetTaskInfo(const std::wstring& name, ScheduledTaskInfo* info) override;
  bool GetTaskNames(std::vector<std::wstring>* names) override;

 private:
  // The initialised fallback scheduler; null when there is none or it cannot start.
  TaskScheduler* GetFallback();
  // Registers |info| through the fallback in place of a task of this back end.
  bool RegisterThroughFallback(const ScheduledTaskInfo& info);
  // Deletes the task of this back end only.
  bool DeleteOwnTask(const std::wstring& name);

  Microsoft::WRL::ComPtr<ITaskService> service_;
  Microsoft::WRL::ComPtr<ITaskFolder> root_folder_;
  std::unique_ptr<TaskScheduler> fallback_;
  bool fallback_initialized_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_
