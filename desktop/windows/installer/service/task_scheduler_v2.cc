#include "desktop/windows/installer/service/task_scheduler_v2.h"

#include <algorithm>
#include <utility>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_variant.h"
#include "desktop/windows/installer/service/task_scheduler_util.h"
#include "desktop/windows/installer/service/user_names.h"

namespace installer {

namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kRootFolder[] = L"\\";
constexpr wchar_t kLocalSystemUser[] = L"SYSTEM";
constexpr wchar_t kLocalSystemSid[] = L"S-1-5-18";

// How filling a task definition went.
enum class SetUpResult {
  kDone,
  // The scheduler cannot make one of the task's triggers (E_NOTIMPL); nothing is logged.
  kTriggerNotImplemented,
  kFailed,
};

SetUpResult AddTrigger(ITriggerCollection* triggers,
                       const ScheduledTaskInfo& info,
                       const TaskSchedulerV2::TriggerSettings& settings) {
  ComPtr<ITrigger> trigger;
  HRESULT hr = triggers->Create(settings.type, trigger.GetAddressOf());
  if (hr == E_NOTIMPL)
    return SetUpResult::kTriggerNotImplemented;
  if (SUCCEEDED(hr))
    hr = TaskSchedulerV2::ApplyTriggerSettings(trigger.Get(), settings);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot add a trigger of type " << static_cast<int>(settings.type)
                    << " to the scheduled task " << info.name;
    return SetUpResult::kFailed;
  }
  return SetUpResult::kDone;
}

template <typename Getter>
std::wstring ReadString(Getter getter) {
  base::win::ScopedBstr text;
  if (FAILED(getter(text.Receive())))
    return std::wstring();
  return std::wstring(text.View());
}

// Fills a new task definition from |info|; |user| is the account the task runs as.
SetUpResult SetUpDefinition(ITaskDefinition* definition,
                            const ScheduledTaskInfo& info,
                            const std::wstring& user) {
  ComPtr<IRegistrationInfo> registration;
  HRESULT hr = definition->get_RegistrationInfo(registration.GetAddressOf());
  if (SUCCEEDED(hr)) {
    base::win::ScopedBstr description(info.description);
    hr = registration->put_Description(description.Get());
  }
  // The principal (account and logon type) comes from the registration call.
  ComPtr<ITaskSettings> settings;
  if (SUCCEEDED(hr))
    hr = definition->get_Settings(settings.GetAddressOf());
  if (SUCCEEDED(hr)) {
    // "PT0S" means no limit.
    base::win::ScopedBstr limit(FormatDurationSeconds(info.time_limit_seconds));
    hr = settings->put_ExecutionTimeLimit(limit.Get());
  }
  if (SUCCEEDED(hr))
    hr = settings->put_RunOnlyIfNetworkAvailable(info.run_only_with_network ? VARIANT_TRUE
                                                                            : VARIANT_FALSE);
  ComPtr<IActionCollection> actions;
  ComPtr<IAction> action;
  ComPtr<IExecAction> exec_action;
  if (SUCCEEDED(hr))
    hr = definition->get_Actions(actions.GetAddressOf());
  if (SUCCEEDED(hr))
    hr = actions->Create(TASK_ACTION_EXEC, action.GetAddressOf());
  if (SUCCEEDED(hr))
    hr = action.As(&exec_action);
  if (SUCCEEDED(hr)) {
    base::win::ScopedBstr path(info.command_line.GetProgram().value());
    hr = exec_action->put_Path(path.Get());
  }
  if (SUCCEEDED(hr)) {
    base::win::ScopedBstr arguments(GetCommandLineArguments(info.command_line));
    hr = exec_action->put_Arguments(arguments.Get());
  }
  ComPtr<ITriggerCollection> triggers;
  if (SUCCEEDED(hr))
    hr = definition->get_Triggers(triggers.GetAddressOf());
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot set up the scheduled task " << info.name;
    return SetUpResult::kFailed;
  }

  for (const TaskSchedulerV2::TriggerSettings& settings :
       TaskSchedulerV2::GetTriggerSettings(info, user)) {
    const SetUpResult result = AddTrigger(triggers.Get(), info, settings);
    if (result != SetUpResult::kDone)
      return result;
  }
  return SetUpResult::kDone;
}

}  // namespace

TaskSchedulerV2::TaskSchedulerV2(std::unique_ptr<TaskScheduler> fallback)
    : fallback_(std::move(fallback)) {}

TaskSchedulerV2::~TaskSchedulerV2() = default;

// static
std::vector<TaskSchedulerV2::TriggerSettings> TaskSchedulerV2::GetTriggerSettings(
    const ScheduledTaskInfo& info,
    const std::wstring& user) {
  std::vector<TriggerSettings> triggers;
  if (info.kind == ScheduledTaskInfo::KIND_RUN_ONCE) {
    TriggerSettings once;
    once.type = TASK_TRIGGER_TIME;
    once.start_boundary = FormatTaskTime(GetLocalTimeFromNow(kRunOnceDelayMinutes));
    triggers.push_back(once);
    return triggers;
  }
  if (info.kind == ScheduledTaskInfo::KIND_DAILY) {
    TriggerSettings daily;
    daily.type = TASK_TRIGGER_DAILY;
    daily.start_boundary = FormatTaskTime(GetLocalTimeFromNow(0));
    daily.days_interval = 1;
    triggers.push_back(daily);
  }
  if (info.logon_trigger) {
    TriggerSettings event;
    const int delay_minutes = GetLogonTriggerDelayMinutes();
    if (delay_minutes > 0)
      event.delay = FormatDurationMinutes(delay_minutes);
    if (info.system_task) {
      event.type = TASK_TRIGGER_BOOT;
    } else {
      event.type = TASK_TRIGGER_LOGON;
      event.user_id = user;
    }
    triggers.push_back(event);
  }
  return triggers;
}

// static
HRESULT TaskSchedulerV2::ApplyTriggerSettings(ITrigger* trigger, const TriggerSettings& settings) {
  HRESULT hr = S_OK;
  if (!settings.start_boundary.empty()) {
    base::win::ScopedBstr start(settings.start_boundary);
    hr = trigger->put_StartBoundary(start.Get());
  }
  if (SUCCEEDED(hr) && settings.type == TASK_TRIGGER_DAILY) {
    ComPtr<IDailyTrigger> daily;
    hr = trigger->QueryInterface(IID_PPV_ARGS(daily.GetAddressOf()));
    if (SUCCEEDED(hr))
      hr = daily->put_DaysInterval(settings.days_interval);
  }
  if (SUCCEEDED(hr) && settings.type == TASK_TRIGGER_BOOT && !settings.delay.empty()) {
    ComPtr<IBootTrigger> boot;
    hr = trigger->QueryInterface(kBootTriggerIid, reinterpret_cast<void**>(boot.GetAddressOf()));
    base::win::ScopedBstr delay(settings.delay);
    if (SUCCEEDED(hr))
      hr = boot->put_Delay(delay.Get());
  }
  if (SUCCEEDED(hr) && settings.type == TASK_TRIGGER_LOGON) {
    ComPtr<ILogonTrigger> logon;
    hr = trigger->QueryInterface(kLogonTriggerIid, reinterpret_cast<void**>(logon.GetAddressOf()));
    if (SUCCEEDED(hr) && !settings.delay.empty()) {
      base::win::ScopedBstr delay(settings.delay);
      hr = logon->put_Delay(delay.Get());
    }
    if (SUCCEEDED(hr)) {
      base::win::ScopedBstr user_id(settings.user_id);
      hr = logon->put_UserId(user_id.Get());
    }
  }
  return hr;
}

TaskScheduler* TaskSchedulerV2::GetFallback() {
  if (fallback_ && !fallback_initialized_) {
    fallback_initialized_ = fallback_->Init();
    if (!fallback_initialized_)
      fallback_.reset();  // Logged by Init; not tried again.
  }
  return fallback_.get();
}

bool TaskSchedulerV2::Init() {
  root_folder_.Reset();
  service_.Reset();
  ComPtr<ITaskService> service;
  HRESULT hr = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(service.GetAddressOf()));
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot create the Task Scheduler 2.0 service object";
    return false;
  }
  // The local machine, as the caller.
  base::win::ScopedVariant none;
  hr = service->Connect(none.Get(), none.Get(), none.Get(), none.Get());
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot connect to the task scheduler";
    return false;
  }
  base::win::ScopedBstr root(kRootFolder);
  ComPtr<ITaskFolder> folder;
  hr = service->GetFolder(root.Get(), folder.GetAddressOf());
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot open the root folder of the task scheduler";
    return false;
  }
  service_ = service;
  root_folder_ = folder;
  return true;
}

bool TaskSchedulerV2::RegisterTask(const ScheduledTaskInfo& info) {
  if (!service_)
    return false;
  const std::wstring user = info.system_task ? std::wstring(kLocalSystemUser)
                                             : GetCurrentUserName();
  if (user.empty()) {
    LOG(ERROR) << "Cannot read the current user's name for the scheduled task " << info.name;
    return false;
  }
  ComPtr<ITaskDefinition> definition;
  HRESULT hr = service_->NewTask(0, definition.GetAddressOf());
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot create a task definition";
    return false;
  }
  switch (SetUpDefinition(definition.Get(), info, user)) {
    case SetUpResult::kDone:
      break;
    case SetUpResult::kTriggerNotImplemented:
      return RegisterThroughFallback(info);
    case SetUpResult::kFailed:
      return false;
  }

  base::win::ScopedBstr name(info.name);
  base::win::ScopedVariant user_id(user);
  base::win::ScopedVariant none;
  ComPtr<IRegisteredTask> registered;
  hr = root_folder_->RegisterTaskDefinition(
      name.Get(), definition.Get(), TASK_CREATE_OR_UPDATE, user_id.Get(), none.Get(),
      info.system_task ? TASK_LOGON_SERVICE_ACCOUNT : TASK_LOGON_INTERACTIVE_TOKEN, none.Get(),
      registered.GetAddressOf());
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot register the scheduled task " << info.name;
    return false;
  }
  return true;
}

// Wine's Task Scheduler 2.0 cannot create time, logon or boot triggers (E_NOTIMPL), so the
// product's autoupdate task, which has a logon trigger, could not be registered there.
// Task Scheduler 1.0 makes them, and it exists on every Windows version through 10, so
// the fallback is valid on Windows too (whose 2.0 back end makes every trigger anyway).
bool TaskSchedulerV2::RegisterThroughFallback(const ScheduledTaskInfo& info) {
  TaskScheduler* fallback = GetFallback();
  if (!fallback) {
    ELOG(ERROR, E_NOTIMPL) << "Task Scheduler 2.0 cannot make the triggers of the scheduled task "
                           << info.name;
    return false;
  }
  LOG(WARNING) << "Task Scheduler 2.0 cannot make the triggers of the scheduled task "
               << info.name << "; registering it through Task Scheduler 1.0";
  // The new task replaces one of that name here; both would run otherwise.
  return DeleteOwnTask(info.name) && fallback->RegisterTask(info);
}

bool TaskSchedulerV2::DeleteOwnTask(const std::wstring& name) {
  base::win::ScopedBstr task_name(name);
  const HRESULT hr = root_folder_->DeleteTask(task_name.Get(), 0);
  if (SUCCEEDED(hr) || IsTaskNotFound(hr))
    return true;
  ELOG(ERROR, hr) << "Cannot delete the scheduled task " << name;
  return false;
}

bool TaskSchedulerV2::DeleteTask(const std::wstring& name) {
  if (!root_folder_)
    return false;
  bool deleted = DeleteOwnTask(name);
  // The task may have been registered through the fallback.
  TaskScheduler* fallback = GetFallback();
  if (fallback && !fallback->DeleteTask(name))
    deleted = false;
  return deleted;
}

bool TaskSchedulerV2::IsTaskRegistered(const std::wstring& name) {
  if (!root_folder_)
    return false;
  base::win::ScopedBstr task_name(name);
  ComPtr<IRegisteredTask> task;
  if (SUCCEEDED(root_folder_->GetTask(task_name.Get(), task.GetAddressOf())))
    return true;
  TaskScheduler* fallback = GetFallback();
  return fallback && fallback->IsTaskRegistered(name);
}

bool TaskSchedulerV2::GetTaskInfo(const std::wstring& name, ScheduledTaskInfo* info) {
  if (!root_folder_)
    return false;
  base::win::ScopedBstr task_name(name);
  ComPtr<IRegisteredTask> task;
  ComPtr<ITaskDefinition> definition;
  HRESULT hr = root_folder_->GetTask(task_name.Get(), task.GetAddressOf());
  if (SUCCEEDED(hr))
    hr = task->get_Definition(definition.GetAddressOf());
  if (FAILED(hr)) {
    if (!IsTaskNotFound(hr))
      ELOG(WARNING, hr) << "Cannot read the scheduled task " << name;
    TaskScheduler* fallback = GetFallback();
    return fallback && fallback->GetTaskInfo(name, info);
  }
  *info = ScheduledTaskInfo();
  info->name = name;

  ComPtr<IRegistrationInfo> registration;
  if (SUCCEEDED(definition->get_RegistrationInfo(registration.GetAddressOf()))) {
    info->description =
        ReadString([&registration](BSTR* out) { return registration->get_Description(out); });
  }

  ComPtr<IPrincipal> principal;
  if (SUCCEEDED(definition->get_Principal(principal.GetAddressOf()))) {
    TASK_LOGON_TYPE logon_type = TASK_LOGON_NONE;
    const std::wstring user_id =
        ReadString([&principal](BSTR* out) { return principal->get_UserId(out); });
    info->system_task =
        (SUCCEEDED(principal->get_LogonType(&logon_type)) &&
         logon_type == TASK_LOGON_SERVICE_ACCOUNT) ||
        base::EqualsCaseInsensitiveAscii(user_id, kLocalSystemSid) ||
        base::EqualsCaseInsensitiveAscii(user_id, kLocalSystemUser);
  }

  ComPtr<ITaskSettings> settings;
  if (SUCCEEDED(definition->get_Settings(settings.GetAddressOf()))) {
    uint64_t seconds = 0;
    if (ParseDurationSeconds(
            ReadString([&settings](BSTR* out) { return settings->get_ExecutionTimeLimit(out); }),
            &seconds) &&
        seconds <= UINT32_MAX) {
      info->time_limit_seconds = static_cast<uint32_t>(seconds);
    }
    VARIANT_BOOL network = VARIANT_FALSE;
    info->run_only_with_network =
        SUCCEEDED(settings->get_RunOnlyIfNetworkAvailable(&network)) && network != VARIANT_FALSE;
  }

  ComPtr<IActionCollection> actions;
  ComPtr<IAction> action;
  ComPtr<IExecAction> exec_action;
  LONG action_count = 0;
  if (SUCCEEDED(definition->get_Actions(actions.GetAddressOf())) &&
      SUCCEEDED(actions->get_Count(&action_count)) && action_count > 0 &&
      SUCCEEDED(actions->get_Item(1, action.GetAddressOf())) &&
      SUCCEEDED(action.As(&exec_action))) {
    info->command_line = MakeCommandLine(
        ReadString([&exec_action](BSTR* out) { return exec_action->get_Path(out); }),
        ReadString([&exec_action](BSTR* out) { return exec_action->get_Arguments(out); }));
  }

  info->kind = ScheduledTaskInfo::KIND_NO_TIME_TRIGGER;
  ComPtr<ITriggerCollection> triggers;
  LONG trigger_count = 0;
  if (SUCCEEDED(definition->get_Triggers(triggers.GetAddressOf())) &&
      SUCCEEDED(triggers->get_Count(&trigger_count))) {
    for (LONG i = 1; i <= trigger_count; ++i) {
      ComPtr<ITrigger> trigger;
      TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_EVENT;
      if (FAILED(triggers->get_Item(i, trigger.GetAddressOf())) ||
          FAILED(trigger->get_Type(&type))) {
        continue;
      }
      if (type == TASK_TRIGGER_TIME)
        info->kind = ScheduledTaskInfo::KIND_RUN_ONCE;
      else if (type == TASK_TRIGGER_DAILY)
        info->kind = ScheduledTaskInfo::KIND_DAILY;
      else if (type == TASK_TRIGGER_BOOT || type == TASK_TRIGGER_LOGON)
        info->logon_trigger = true;
    }
  }
  return true;
}

bool TaskSchedulerV2::GetTaskNames(std::vector<std::wstring>* names) {
  names->clear();
  if (!root_folder_)
    return false;
  ComPtr<IRegisteredTaskCollection> tasks;
  LONG count = 0;
  HRESULT hr = root_folder_->GetTasks(TASK_ENUM_HIDDEN, tasks.GetAddressOf());
  if (SUCCEEDED(hr))
    hr = tasks->get_Count(&count);
  // Where the older interface is there to ask (Wine implements no listing here), the
  // listing goes on through it.
  TaskScheduler* fallback = GetFallback();
  if (FAILED(hr) && fallback)
    ELOG(WARNING, hr) << "Cannot list the scheduled tasks";
  else if (FAILED(hr))
    ELOG(ERROR, hr) << "Cannot list the scheduled tasks";
  for (LONG i = 1; i <= count; ++i) {
    base::win::ScopedVariant index(i);
    ComPtr<IRegisteredTask> task;
    if (FAILED(tasks->get_Item(index.Get(), task.GetAddressOf())))
      continue;
    names->push_back(ReadString([&task](BSTR* out) { return task->get_Name(out); }));
  }
  bool listed = SUCCEEDED(hr);

  // Where both back ends share one store, the fallback lists the same tasks again.
  std::vector<std::wstring> fallback_names;
  if (fallback && fallback->GetTaskNames(&fallback_names)) {
    listed = true;
    for (std::wstring& name : fallback_names) {
      const bool known = std::any_of(names->begin(), names->end(), [&name](const std::wstring& own) {
        return base::FilePath::CompareEqualIgnoreCase(own, name);
      });
      if (!known)
        names->push_back(std::move(name));
    }
  }
  return listed;
}

}  // namespace installer
