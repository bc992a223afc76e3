#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_

#include <windows.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "desktop/windows/installer/service/task_scheduler.h"

// Some SDK headers lack the logon and boot trigger interfaces; their layout and identifiers
// are those of the Task Scheduler 2.0 type library.
#ifndef __ILogonTrigger_INTERFACE_DEFINED__
#define __ILogonTrigger_INTERFACE_DEFINED__
struct ILogonTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR* user) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};
#endif

#ifndef __IBootTrigger_INTERFACE_DEFINED__
#define __IBootTrigger_INTERFACE_DEFINED__
struct IBootTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
};
#endif

namespace installer {

// {72DADE38-FAE4-4B3E-BAF4-5D009AF02B1C}
inline constexpr IID kLogonTriggerIid = {
    0x72DADE38, 0xFAE4, 0x4B3E, {0xBA, 0xF4, 0x5D, 0x00, 0x9A, 0xF0, 0x2B, 0x1C}};
// {2A9C35DA-D357-41F4-BBC1-207AC1B1F3CB}
inline constexpr IID kBootTriggerIid = {
    0x2A9C35DA, 0xD357, 0x41F4, {0xBB, 0xC1, 0x20, 0x7A, 0xC1, 0xB1, 0xF3, 0xCB}};

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
  // Sets |settings| on |trigger|, which the scheduler made for settings.type.
  static HRESULT ApplyTriggerSettings(ITrigger* trigger, const TriggerSettings& settings);

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
