#include "desktop/windows/installer/service/task_scheduler_v1.h"

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/win/scoped_co_mem.h"
#include "desktop/windows/installer/service/task_scheduler_util.h"
#include "desktop/windows/installer/service/user_names.h"

namespace installer {

namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kJobExtension[] = L".job";

// The scheduler may still hold a job file it has just written; deleting it then fails for
// a moment.
constexpr int kDeleteAttempts = 10;
constexpr DWORD kDeleteRetryDelayMs = 50;

// The task name of a job file name.
std::wstring StripJobExtension(const std::wstring& file_name) {
  if (base::EndsWith(file_name, kJobExtension, base::CompareCase::INSENSITIVE_ASCII))
    return file_name.substr(0, file_name.size() - (ARRAYSIZE(kJobExtension) - 1));
  return file_name;
}

// A trigger of |type| whose start date (and, for time triggers, time of day) is |start|.
TASK_TRIGGER MakeTrigger(TASK_TRIGGER_TYPE type, const SYSTEMTIME& start) {
  TASK_TRIGGER trigger = {};
  trigger.cbTriggerSize = sizeof(trigger);
  trigger.wBeginYear = start.wYear;
  trigger.wBeginMonth = start.wMonth;
  trigger.wBeginDay = start.wDay;
  trigger.wStartHour = start.wHour;
  trigger.wStartMinute = start.wMinute;
  trigger.TriggerType = type;
  if (type == TASK_TIME_TRIGGER_DAILY)
    trigger.Type.Daily.DaysInterval = 1;
  return trigger;
}

bool AddTrigger(ITask* task, TASK_TRIGGER_TYPE type, const SYSTEMTIME& start) {
  WORD index = 0;
  ComPtr<ITaskTrigger> trigger;
  HRESULT hr = task->CreateTrigger(&index, trigger.GetAddressOf());
  if (SUCCEEDED(hr)) {
    TASK_TRIGGER data = MakeTrigger(type, start);
    hr = trigger->SetTrigger(&data);
  }
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot add a trigger of type " << static_cast<int>(type);
    return false;
  }
  return true;
}

// Reads one string field of the task through |getter|.
template <typename Getter>
std::wstring ReadString(Getter getter) {
  base::win::ScopedCoMem<wchar_t> text;
  if (FAILED(getter(text.Receive())) || !text.Get())
    return std::wstring();
  return std::wstring(text.Get());
}

}  // namespace

TaskSchedulerV1::TaskSchedulerV1() = default;
TaskSchedulerV1::~TaskSchedulerV1() = default;

bool TaskSchedulerV1::Init() {
  const HRESULT hr = ::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_ITaskScheduler,
                                        reinterpret_cast<void**>(scheduler_.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot create the Task Scheduler 1.0 object";
    scheduler_.Reset();
    return false;
  }
  return true;
}

ComPtr<ITask> TaskSchedulerV1::OpenTask(const std::wstring& name) {
  ComPtr<ITask> task;
  if (!scheduler_)
    return task;
  // Asked for IID_ITask, the scheduler hands out an ITask.
  const HRESULT hr = scheduler_->Activate(name.c_str(), IID_ITask,
                                          reinterpret_cast<IUnknown**>(task.GetAddressOf()));
  if (FAILED(hr) && !IsTaskNotFound(hr))
    ELOG(WARNING, hr) << "Cannot open the scheduled task " << name;
  return task;
}

bool TaskSchedulerV1::SetUpTask(ITask* task, const ScheduledTaskInfo& info) {
  const std::wstring arguments = GetCommandLineArguments(info.command_line);
  DWORD max_run_time_ms = INFINITE;
  if (info.time_limit_seconds != 0 && info.time_limit_seconds < INFINITE / 1000)
    max_run_time_ms = info.time_limit_seconds * 1000;
  DWORD flags = 0;
  if (info.run_only_with_network)
    flags |= TASK_FLAG_RUN_IF_CONNECTED_TO_INTERNET;
  // Without a password a user's task can run only in that user's session.
  if (!info.system_task)
    flags |= TASK_FLAG_RUN_ONLY_IF_LOGGED_ON;

  HRESULT hr = task->SetApplicationName(info.command_line.GetProgram().value().c_str());
  if (SUCCEEDED(hr))
    hr = task->SetParameters(arguments.c_str());
  if (SUCCEEDED(hr))
    hr = task->SetComment(info.description.c_str());
  if (SUCCEEDED(hr))
    hr = task->SetMaxRunTime(max_run_time_ms);
  if (SUCCEEDED(hr))
    hr = task->SetFlags(flags);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot set up the scheduled task " << info.name;
    return false;
  }

  // An empty account name means LocalSystem.
  const std::wstring account = info.system_task ? std::wstring() : GetCurrentUserName();
  if (!info.system_task && account.empty()) {
    LOG(ERROR) << "Cannot read the current user's name for the scheduled task " << info.name;
    return false;
  }
  hr = task->SetAccountInformation(account.c_str(), nullptr);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot set the account of the scheduled task " << info.name;
    return false;
  }

  if (info.kind == ScheduledTaskInfo::KIND_RUN_ONCE) {
    return AddTrigger(task, TASK_TIME_TRIGGER_ONCE, GetLocalTimeFromNow(kRunOnceDelayMinutes));
  }
  const SYSTEMTIME now = GetLocalTimeFromNow(0);
  if (info.kind == ScheduledTaskInfo::KIND_DAILY &&
      !AddTrigger(task, TASK_TIME_TRIGGER_DAILY, now)) {
    return false;
  }
  if (!info.logon_trigger)
    return true;
  // The job format has no delay for these triggers (its trigger's random-delay field is
  // documented as unused, and Wine does not keep it), so the delay cannot be carried here.
  const int delay_minutes = GetLogonTriggerDelayMinutes();
  LOG_IF(WARNING, delay_minutes > 0)
      << "Task Scheduler 1.0 cannot delay " << (info.system_task ? "boot" : "logon")
      << " triggers: the scheduled task " << info.name << " starts at once instead of "
      << delay_minutes << " minutes later";
  return AddTrigger(
      task, info.system_task ? TASK_EVENT_TRIGGER_AT_SYSTEMSTART : TASK_EVENT_TRIGGER_AT_LOGON, now);
}

bool TaskSchedulerV1::RegisterTask(const ScheduledTaskInfo& info) {
  if (!scheduler_)
    return false;
  // An existing task is rewritten in place, so that it stays as it was should anything fail
  // before it is saved.
  ComPtr<ITask> task = OpenTask(info.name);
  HRESULT hr = S_OK;
  if (task) {
    WORD count = 0;
    hr = task->GetTriggerCount(&count);
    while (SUCCEEDED(hr) && count > 0)
      hr = task->DeleteTrigger(--count);
    if (FAILED(hr)) {
      ELOG(ERROR, hr) << "Cannot remove the triggers of the scheduled task " << info.name;
      return false;
    }
  } else {
    hr = scheduler_->NewWorkItem(info.name.c_str(), CLSID_CTask, IID_ITask,
                                 reinterpret_cast<IUnknown**>(task.GetAddressOf()));
    if (FAILED(hr)) {
      ELOG(ERROR, hr) << "Cannot create the scheduled task " << info.name;
      return false;
    }
  }
  if (!SetUpTask(task.Get(), info))
    return false;

  ComPtr<IPersistFile> file;
  hr = task.As(&file);
  if (SUCCEEDED(hr))
    hr = file->Save(nullptr, TRUE);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot save the scheduled task " << info.name;
    return false;
  }
  return true;
}

bool TaskSchedulerV1::DeleteTask(const std::wstring& name) {
  if (!scheduler_)
    return false;
  HRESULT hr = S_OK;
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if (attempt != 0)
      ::Sleep(kDeleteRetryDelayMs);
    hr = scheduler_->Delete(name.c_str());
    if (SUCCEEDED(hr) || IsTaskNotFound(hr))
      return true;
  }
  ELOG(ERROR, hr) << "Cannot delete the scheduled task " << name;
  return false;
}

bool TaskSchedulerV1::IsTaskRegistered(const std::wstring& name) {
  return OpenTask(name) != nullptr;
}

bool TaskSchedulerV1::GetTaskInfo(const std::wstring& name, ScheduledTaskInfo* info) {
  ComPtr<ITask> task = OpenTask(name);
  if (!task)
    return false;
  *info = ScheduledTaskInfo();
  info->name = name;
  info->command_line = MakeCommandLine(
      ReadString([&task](LPWSTR* out) { return task->GetApplicationName(out); }),
      ReadString([&task](LPWSTR* out) { return task->GetParameters(out); }));
  info->description = ReadString([&task](LPWSTR* out) { return task->GetComment(out); });

  base::win::ScopedCoMem<wchar_t> account;
  HRESULT hr = task->GetAccountInformation(account.Receive());
  info->system_task = SUCCEEDED(hr) && (!account.Get() || account.Get()[0] == L'\0');

  DWORD max_run_time_ms = 0;
  if (SUCCEEDED(task->GetMaxRunTime(&max_run_time_ms)) && max_run_time_ms != INFINITE)
    info->time_limit_seconds = max_run_time_ms / 1000;
  DWORD flags = 0;
  if (SUCCEEDED(task->GetFlags(&flags)))
    info->run_only_with_network = (flags & TASK_FLAG_RUN_IF_CONNECTED_TO_INTERNET) != 0;

  WORD count = 0;
  hr = task->GetTriggerCount(&count);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot read the triggers of the scheduled task " << name;
    return false;
  }
  info->kind = ScheduledTaskInfo::KIND_NO_TIME_TRIGGER;
  for (WORD i = 0; i < count; ++i) {
    ComPtr<ITaskTrigger> trigger;
    TASK_TRIGGER data = {};
    data.cbTriggerSize = sizeof(data);
    if (FAILED(task->GetTrigger(i, trigger.GetAddressOf())) ||
        FAILED(trigger->GetTrigger(&data))) {
      continue;
    }
    switch (data.TriggerType) {
      case TASK_TIME_TRIGGER_ONCE:
        info->kind = ScheduledTaskInfo::KIND_RUN_ONCE;
        break;
      case TASK_TIME_TRIGGER_DAILY:
        info->kind = ScheduledTaskInfo::KIND_DAILY;
        break;
      case TASK_EVENT_TRIGGER_AT_SYSTEMSTART:
      case TASK_EVENT_TRIGGER_AT_LOGON:
        info->logon_trigger = true;
        break;
      default:
        break;
    }
  }
  return true;
}

bool TaskSchedulerV1::GetTaskNames(std::vector<std::wstring>* names) {
  names->clear();
  if (!scheduler_)
    return false;
  ComPtr<IEnumWorkItems> items;
  HRESULT hr = scheduler_->Enum(items.GetAddressOf());
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot list the scheduled tasks";
    return false;
  }
  for (;;) {
    base::win::ScopedCoMem<LPWSTR> batch;
    ULONG fetched = 0;
    hr = items->Next(1, batch.Receive(), &fetched);
    if (hr != S_OK || fetched == 0 || !batch.Get())
      break;
    for (ULONG i = 0; i < fetched; ++i) {
      names->push_back(StripJobExtension(batch.Get()[i]));
      ::CoTaskMemFree(batch.Get()[i]);
    }
  }
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot list the scheduled tasks";
    return false;
  }
  return true;
}

}  // namespace installer
