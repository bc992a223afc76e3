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
  // What this back end sets on one trigger of a task.
  struct TriggerSettings {
    TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_TIME;
    // Time and daily triggers: the local time of the first run (FormatTaskTime).
    std::wstring start_boundary;
    // Daily triggers: every how many days.
    short days_interval = 0;
    // Logon and boot triggers: how long after the event the task starts ("PT<n>M"); empty
    // for at once.
    std::wstring delay;
    // Logon triggers: the only user whose logon starts the task.
    std::wstring user_id;
  };

  explicit TaskSchedulerV2(std::unique_ptr<TaskScheduler> fallback = nullptr);
  ~TaskSchedulerV2() override;

  // The triggers of |info| for a task that runs as |user|, in the order they are added.
  static std::vector<TriggerSettings> GetTriggerSettings(const ScheduledTaskInfo& info,
                                                         const std::wstring& user);

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
