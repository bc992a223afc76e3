#include "desktop/windows/installer/service/task_scheduler.h"

#include <windows.h>
#include <mstask.h>
#include <wrl/client.h>

#include <algorithm>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_log_capture.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_co_mem.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_variant.h"
#include "desktop/windows/installer/service/task_scheduler_util.h"
#include "desktop/windows/installer/service/task_scheduler_v2.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using Microsoft::WRL::ComPtr;

// COM, a program file, and unique task names that are deleted from both back ends after
// the test.
class TaskSchedulerTestBase : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    program_ = temp_dir_.GetPath().Append(L"launcher.exe");
    ASSERT_EQ(1, base::WriteFileFromBuffer(program_, "x", 1));
    suffix_ = base::WideStringPrintf(L"%016llx", static_cast<unsigned long long>(base::RandUint64()));
  }

  void TearDown() override {
    for (TaskScheduler::Api api : {TaskScheduler::Api::kVersion1, TaskScheduler::Api::kVersion2}) {
      std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::CreateForApi(api);
      if (scheduler->Init()) {
        for (const std::wstring& name : names_)
          scheduler->DeleteTask(name);
      }
    }
  }

  // A unique task name, deleted after the test.
  std::wstring MakeName(const std::wstring& base) {
    names_.push_back(base + L" " + suffix_);
    return names_.back();
  }

  ScheduledTaskInfo MakeInfo(const std::wstring& name, const base::FilePath& program) {
    ScheduledTaskInfo info;
    info.command_line = base::CommandLine(program);
    info.command_line.AppendSwitch("scheduledautoupdate");
    info.command_line.AppendArgNative(L"$(Arg0)");
    info.name = name;
    info.description = L"Keeps Tavro up to date.";
    info.time_limit_seconds = 3600;
    info.kind = ScheduledTaskInfo::KIND_DAILY;
    info.logon_trigger = false;
    info.run_only_with_network = true;
    return info;
  }

  base::win::ScopedComInitializer com_;
  base::ScopedTempDir temp_dir_;
  base::FilePath program_;
  std::wstring suffix_;
  std::vector<std::wstring> names_;
};

class TaskSchedulerTest : public TaskSchedulerTestBase,
                          public testing::WithParamInterface<TaskScheduler::Api> {
 protected:
  void SetUp() override {
    TaskSchedulerTestBase::SetUp();
    if (HasFatalFailure())
      return;
    scheduler_ = TaskScheduler::CreateForApi(GetParam());
    ASSERT_TRUE(scheduler_);
    ASSERT_TRUE(scheduler_->Init());
  }

  void TearDown() override {
    scheduler_.reset();
    TaskSchedulerTestBase::TearDown();
  }

  bool IsVersion1() const { return GetParam() == TaskScheduler::Api::kVersion1; }

  // The job of the 1.0 back end, read directly.
  ComPtr<ITask> OpenJob(const std::wstring& name) {
    ComPtr<ITaskScheduler> scheduler;
    ComPtr<ITask> task;
    if (SUCCEEDED(::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ITaskScheduler,
                                     reinterpret_cast<void**>(scheduler.GetAddressOf())))) {
      scheduler->Activate(name.c_str(), IID_ITask,
                          reinterpret_cast<IUnknown**>(task.GetAddressOf()));
    }
    return task;
  }

  std::vector<TASK_TRIGGER_TYPE> GetJobTriggerTypes(ITask* task) {
    std::vector<TASK_TRIGGER_TYPE> types;
    WORD count = 0;
    EXPECT_TRUE(SUCCEEDED(task->GetTriggerCount(&count)));
    for (WORD i = 0; i < count; ++i) {
      ComPtr<ITaskTrigger> trigger;
      TASK_TRIGGER data = {};
      data.cbTriggerSize = sizeof(data);
      EXPECT_TRUE(SUCCEEDED(task->GetTrigger(i, trigger.GetAddressOf())));
      EXPECT_TRUE(SUCCEEDED(trigger->GetTrigger(&data)));
      types.push_back(data.TriggerType);
    }
    return types;
  }

  std::unique_ptr<TaskScheduler> scheduler_;
};

TEST_P(TaskSchedulerTest, RegisterReadReplaceAndDelete) {
  const std::wstring name = MakeName(L"TavroTest Register");
  ASSERT_FALSE(scheduler_->IsTaskRegistered(name));
  ScheduledTaskInfo info = MakeInfo(name, program_);
  ASSERT_TRUE(scheduler_->RegisterTask(info));
  EXPECT_TRUE(scheduler_->IsTaskRegistered(name));

  ScheduledTaskInfo read;
  ASSERT_TRUE(scheduler_->GetTaskInfo(name, &read));
  EXPECT_EQ(name, read.name);
  EXPECT_EQ(info.description, read.description);
  EXPECT_EQ(3600u, read.time_limit_seconds);
  EXPECT_TRUE(read.run_only_with_network);
  EXPECT_FALSE(read.system_task);
  EXPECT_FALSE(read.logon_trigger);
  std::vector<std::wstring> names;
  const bool listed = scheduler_->GetTaskNames(&names);
  if (IsVersion1()) {
    EXPECT_EQ(info.command_line.GetCommandLineString(), read.command_line.GetCommandLineString());
    EXPECT_EQ(static_cast<uint32_t>(ScheduledTaskInfo::KIND_DAILY), read.kind);
    ASSERT_TRUE(listed);
    EXPECT_EQ(1, std::count(names.begin(), names.end(), name));
  } else {
    // Wine's Task Scheduler 2.0 keeps the task without its action and triggers, and cannot
    // list tasks.
    EXPECT_TRUE(read.command_line.GetProgram().empty() ||
                read.command_line.GetCommandLineString() ==
                    info.command_line.GetCommandLineString());
  }

  // Registering again replaces the task.
  info.description = L"Replaced";
  info.time_limit_seconds = 60;
  info.run_only_with_network = false;
  ASSERT_TRUE(scheduler_->RegisterTask(info));
  ASSERT_TRUE(scheduler_->GetTaskInfo(name, &read));
  EXPECT_EQ(L"Replaced", read.description);
  EXPECT_EQ(60u, read.time_limit_seconds);
  EXPECT_FALSE(read.run_only_with_network);
  if (IsVersion1()) {
    ASSERT_TRUE(scheduler_->GetTaskNames(&names));
    EXPECT_EQ(1, std::count(names.begin(), names.end(), name));
  }

  EXPECT_TRUE(scheduler_->DeleteTask(name));
  EXPECT_FALSE(scheduler_->IsTaskRegistered(name));
  EXPECT_FALSE(scheduler_->GetTaskInfo(name, &read));
  // A task that is not there counts as deleted.
  EXPECT_TRUE(scheduler_->DeleteTask(name));
}

TEST_P(TaskSchedulerTest, DeleteStaleTasksKeepsTasksWithTheirProgram) {
  const base::FilePath missing = temp_dir_.GetPath().Append(L"gone").Append(L"launcher.exe");
  const std::wstring stale = MakeName(std::wstring(kAutoupdateTaskNamePrefix) + L"TavroTestStale");
  const std::wstring live = MakeName(std::wstring(kAutoupdateTaskNamePrefix) + L"TavroTestLive");
  const std::wstring foreign = MakeName(L"TavroTest Foreign");
  ASSERT_TRUE(scheduler_->RegisterTask(MakeInfo(stale, missing)));
  ASSERT_TRUE(scheduler_->RegisterTask(MakeInfo(live, program_)));
  ASSERT_TRUE(scheduler_->RegisterTask(MakeInfo(foreign, missing)));

  scheduler_->DeleteStaleTasks();
  // Wine's Task Scheduler 2.0 neither lists tasks nor keeps their program, so there every
  // task stays.
  EXPECT_EQ(!IsVersion1(), scheduler_->IsTaskRegistered(stale));
  EXPECT_TRUE(scheduler_->IsTaskRegistered(live));
  EXPECT_TRUE(scheduler_->IsTaskRegistered(foreign));
}

TEST_P(TaskSchedulerTest, TriggerKinds) {
  // Run once, shortly after registration; the logon flag does not apply.
  ScheduledTaskInfo once = MakeInfo(MakeName(L"TavroTest Once"), program_);
  once.kind = ScheduledTaskInfo::KIND_RUN_ONCE;
  once.logon_trigger = true;
  // Daily and at the user's logon.
  ScheduledTaskInfo user_logon = MakeInfo(MakeName(L"TavroTest Logon"), program_);
  user_logon.logon_trigger = true;
  // Only at boot, as LocalSystem, without a time limit.
  ScheduledTaskInfo system_boot = MakeInfo(MakeName(L"TavroTest Boot"), program_);
  system_boot.system_task = true;
  system_boot.logon_trigger = true;
  system_boot.kind = ScheduledTaskInfo::KIND_NO_TIME_TRIGGER;
  system_boot.time_limit_seconds = 0;

  if (!IsVersion1()) {
    // Wine's Task Scheduler 2.0 makes only daily triggers: these registrations fail there,
    // and a failed registration leaves no task behind.
    for (const ScheduledTaskInfo* info : {&once, &user_logon, &system_boot}) {
      EXPECT_FALSE(scheduler_->RegisterTask(*info)) << info->name;
      EXPECT_FALSE(scheduler_->IsTaskRegistered(info->name)) << info->name;
    }
    return;
  }
  base::test::ScopedLogCapture log;
  ASSERT_TRUE(scheduler_->RegisterTask(once));
  ASSERT_TRUE(scheduler_->RegisterTask(user_logon));
  ASSERT_TRUE(scheduler_->RegisterTask(system_boot));
  // The job format cannot delay logon and boot triggers by the configured 5 minutes: said
  // once for each task that has one.
  EXPECT_TRUE(log.Logged(logging::LOG_WARNING,
                         "Task Scheduler 1.0 cannot delay logon triggers: the scheduled task " +
                             base::Utf16ToUtf8(user_logon.name) +
                             " starts at once instead of 5 minutes later"));
  EXPECT_TRUE(log.Logged(logging::LOG_WARNING,
                         "Task Scheduler 1.0 cannot delay boot triggers: the scheduled task " +
                             base::Utf16ToUtf8(system_boot.name) +
                             " starts at once instead of 5 minutes later"));
  EXPECT_EQ(2, log.CountLinesContaining("Task Scheduler 1.0 cannot delay"));

  ComPtr<ITask> job = OpenJob(once.name);
  ASSERT_TRUE(job);
  EXPECT_EQ(std::vector<TASK_TRIGGER_TYPE>{TASK_TIME_TRIGGER_ONCE}, GetJobTriggerTypes(job.Get()));

  job = OpenJob(user_logon.name);
  ASSERT_TRUE(job);
  EXPECT_EQ((std::vector<TASK_TRIGGER_TYPE>{TASK_TIME_TRIGGER_DAILY, TASK_EVENT_TRIGGER_AT_LOGON}),
            GetJobTriggerTypes(job.Get()));
  DWORD flags = 0;
  ASSERT_TRUE(SUCCEEDED(job->GetFlags(&flags)));
  EXPECT_EQ(static_cast<DWORD>(TASK_FLAG_RUN_IF_CONNECTED_TO_INTERNET |
                               TASK_FLAG_RUN_ONLY_IF_LOGGED_ON),
            flags);

  job = OpenJob(system_boot.name);
  ASSERT_TRUE(job);
  EXPECT_EQ(std::vector<TASK_TRIGGER_TYPE>{TASK_EVENT_TRIGGER_AT_SYSTEMSTART},
            GetJobTriggerTypes(job.Get()));
  ASSERT_TRUE(SUCCEEDED(job->GetFlags(&flags)));
  EXPECT_EQ(static_cast<DWORD>(TASK_FLAG_RUN_IF_CONNECTED_TO_INTERNET), flags);
  DWORD max_run_time = 0;
  ASSERT_TRUE(SUCCEEDED(job->GetMaxRunTime(&max_run_time)));
  EXPECT_EQ(INFINITE, max_run_time);

  // Replacing a task replaces its triggers.
  once.kind = ScheduledTaskInfo::KIND_DAILY;
  ASSERT_TRUE(scheduler_->RegisterTask(once));
  job = OpenJob(once.name);
  ASSERT_TRUE(job);
  EXPECT_EQ((std::vector<TASK_TRIGGER_TYPE>{TASK_TIME_TRIGGER_DAILY, TASK_EVENT_TRIGGER_AT_LOGON}),
            GetJobTriggerTypes(job.Get()));
  ScheduledTaskInfo read;
  ASSERT_TRUE(scheduler_->GetTaskInfo(once.name, &read));
  EXPECT_EQ(static_cast<uint32_t>(ScheduledTaskInfo::KIND_DAILY), read.kind);
  EXPECT_TRUE(read.logon_trigger);
}

TEST_P(TaskSchedulerTest, SavedJobFields) {
  if (!IsVersion1()) {
    GTEST_SKIP() << "Job files belong to Task Scheduler 1.0";
  }
  const ScheduledTaskInfo info = MakeInfo(MakeName(L"TavroTest Job"), program_);
  ASSERT_TRUE(scheduler_->RegisterTask(info));
  ComPtr<ITask> job = OpenJob(info.name);
  ASSERT_TRUE(job);
  base::win::ScopedCoMem<wchar_t> text;
  ASSERT_TRUE(SUCCEEDED(job->GetApplicationName(text.Receive())));
  EXPECT_EQ(program_.value(), text.Get());
  ASSERT_TRUE(SUCCEEDED(job->GetParameters(text.Receive())));
  EXPECT_STREQ(L"--scheduledautoupdate $(Arg0)", text.Get());
  ASSERT_TRUE(SUCCEEDED(job->GetComment(text.Receive())));
  EXPECT_STREQ(L"Keeps Tavro up to date.", text.Get());
  DWORD max_run_time = 0;
  ASSERT_TRUE(SUCCEEDED(job->GetMaxRunTime(&max_run_time)));
  EXPECT_EQ(3600u * 1000u, max_run_time);
  EXPECT_EQ(std::vector<TASK_TRIGGER_TYPE>{TASK_TIME_TRIGGER_DAILY}, GetJobTriggerTypes(job.Get()));
}

INSTANTIATE_TEST_SUITE_P(BothApis,
                         TaskSchedulerTest,
                         testing::Values(TaskScheduler::Api::kVersion1,
                                         TaskScheduler::Api::kVersion2),
                         [](const testing::TestParamInfo<TaskScheduler::Api>& param) {
                           return std::string(param.param == TaskScheduler::Api::kVersion1
                                                  ? "Version1"
                                                  : "Version2");
                         });

// The scheduler that Create picks. Under Wine, Task Scheduler 2.0 cannot make logon or time
// triggers, and the task goes through 1.0; on Windows 2.0 keeps it. Either way the task is
// found, read back with its triggers and deleted from both back ends.
using TaskSchedulerCreateTest = TaskSchedulerTestBase;

TEST_F(TaskSchedulerCreateTest, RegistersAndDeletesTasksWithLogonAndTimeTriggers) {
  std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
  ASSERT_TRUE(scheduler);
  ASSERT_TRUE(scheduler->Init());
  // The engine's autoupdate task: daily and at the user's logon.
  ScheduledTaskInfo autoupdate =
      MakeInfo(MakeName(std::wstring(kAutoupdateTaskNamePrefix) + L"TavroTestCreate"), program_);
  autoupdate.logon_trigger = true;
  ScheduledTaskInfo once = MakeInfo(MakeName(L"TavroTest CreateOnce"), program_);
  once.kind = ScheduledTaskInfo::KIND_RUN_ONCE;

  ASSERT_TRUE(scheduler->RegisterTask(autoupdate));
  ASSERT_TRUE(scheduler->RegisterTask(once));
  // Registering again replaces the task rather than adding one.
  ASSERT_TRUE(scheduler->RegisterTask(autoupdate));
  std::vector<std::wstring> names;
  ASSERT_TRUE(scheduler->GetTaskNames(&names));
  EXPECT_EQ(1, std::count(names.begin(), names.end(), autoupdate.name));
  EXPECT_EQ(1, std::count(names.begin(), names.end(), once.name));

  ScheduledTaskInfo read;
  ASSERT_TRUE(scheduler->GetTaskInfo(autoupdate.name, &read));
  EXPECT_TRUE(read.logon_trigger);
  EXPECT_EQ(static_cast<uint32_t>(ScheduledTaskInfo::KIND_DAILY), read.kind);
  EXPECT_EQ(autoupdate.command_line.GetCommandLineString(), read.command_line.GetCommandLineString());
  ASSERT_TRUE(scheduler->GetTaskInfo(once.name, &read));
  EXPECT_EQ(static_cast<uint32_t>(ScheduledTaskInfo::KIND_RUN_ONCE), read.kind);

  for (const ScheduledTaskInfo* info : {&autoupdate, &once}) {
    EXPECT_TRUE(scheduler->IsTaskRegistered(info->name)) << info->name;
    EXPECT_TRUE(scheduler->DeleteTask(info->name)) << info->name;
    EXPECT_FALSE(scheduler->IsTaskRegistered(info->name)) << info->name;
    for (TaskScheduler::Api api : {TaskScheduler::Api::kVersion1, TaskScheduler::Api::kVersion2}) {
      std::unique_ptr<TaskScheduler> single = TaskScheduler::CreateForApi(api);
      ASSERT_TRUE(single->Init());
      EXPECT_FALSE(single->IsTaskRegistered(info->name)) << info->name;
    }
  }
}

// Stands in for a logon or boot trigger where the scheduler cannot make one (Wine's Task
// Scheduler 2.0): keeps what is set through the trigger's interfaces and gives it back
// through them. It lives on the test's stack.
template <typename Interface>
class StandInTrigger : public Interface {
 public:
  StandInTrigger(TASK_TRIGGER_TYPE2 type, const IID& iid) : type_(type), iid_(iid) {}
  virtual ~StandInTrigger() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != IID_ITrigger && iid != iid_) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<Interface*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Type(TASK_TRIGGER_TYPE2* type) override {
    *type = type_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Id(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Id(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Repetition(IRepetitionPattern**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Repetition(IRepetitionPattern*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ExecutionTimeLimit(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ExecutionTimeLimit(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_StartBoundary(BSTR* text) override { return Get(start_, text); }
  HRESULT STDMETHODCALLTYPE put_StartBoundary(BSTR text) override { return Put(text, &start_); }
  HRESULT STDMETHODCALLTYPE get_EndBoundary(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_EndBoundary(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Delay(BSTR* text) override { return Get(delay_, text); }
  HRESULT STDMETHODCALLTYPE put_Delay(BSTR text) override { return Put(text, &delay_); }

 protected:
  static HRESULT Get(const std::wstring& value, BSTR* text) {
    *text = ::SysAllocString(value.c_str());
    return *text ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT Put(BSTR text, std::wstring* value) {
    *value = text ? text : L"";
    return S_OK;
  }

 private:
  const TASK_TRIGGER_TYPE2 type_;
  const IID iid_;
  std::wstring start_;
  std::wstring delay_;
};

class StandInLogonTrigger : public StandInTrigger<ILogonTrigger> {
 public:
  StandInLogonTrigger() : StandInTrigger(TASK_TRIGGER_LOGON, kLogonTriggerIid) {}
  HRESULT STDMETHODCALLTYPE get_UserId(BSTR* text) override { return Get(user_, text); }
  HRESULT STDMETHODCALLTYPE put_UserId(BSTR text) override { return Put(text, &user_); }

 private:
  std::wstring user_;
};

// What the 2.0 back end sets on the triggers of a task, read back through the triggers'
// interfaces: the scheduler's own triggers where it makes them (Wine's makes only daily
// ones), stand-ins where it cannot.
class TaskSchedulerV2TriggerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ComPtr<ITaskService> service;
    ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_TaskScheduler, nullptr,
                                                CLSCTX_INPROC_SERVER,
                                                IID_PPV_ARGS(service.GetAddressOf())));
    base::win::ScopedVariant none;
    ASSERT_HRESULT_SUCCEEDED(service->Connect(none.Get(), none.Get(), none.Get(), none.Get()));
    ComPtr<ITaskDefinition> definition;
    ASSERT_HRESULT_SUCCEEDED(service->NewTask(0, definition.GetAddressOf()));
    ASSERT_HRESULT_SUCCEEDED(definition->get_Triggers(triggers_.GetAddressOf()));
  }

  // The triggers of |info| for |user|, made and set up as the back end does.
  std::vector<ComPtr<ITrigger>> MakeTriggers(const ScheduledTaskInfo& info,
                                             const std::wstring& user) {
    std::vector<ComPtr<ITrigger>> made;
    for (const TaskSchedulerV2::TriggerSettings& settings :
         TaskSchedulerV2::GetTriggerSettings(info, user)) {
      ComPtr<ITrigger> trigger;
      const HRESULT hr = triggers_->Create(settings.type, trigger.GetAddressOf());
      if (hr == E_NOTIMPL && settings.type == TASK_TRIGGER_LOGON) {
        trigger = &logon_stand_in_;
      } else if (hr == E_NOTIMPL && settings.type == TASK_TRIGGER_BOOT) {
        trigger = &boot_stand_in_;
      } else {
        EXPECT_HRESULT_SUCCEEDED(hr) << settings.type;
        if (FAILED(hr))
          continue;
      }
      EXPECT_HRESULT_SUCCEEDED(TaskSchedulerV2::ApplyTriggerSettings(trigger.Get(), settings));
      made.push_back(trigger);
    }
    return made;
  }

  // A text of the trigger through its interface |iid| (the one of its kind).
  template <typename Interface>
  static std::wstring Read(ITrigger* trigger,
                           const IID& iid,
                           HRESULT (STDMETHODCALLTYPE Interface::*getter)(BSTR*)) {
    ComPtr<Interface> view;
    base::win::ScopedBstr text;
    if (FAILED(trigger->QueryInterface(iid, reinterpret_cast<void**>(view.GetAddressOf()))) ||
        FAILED((view.Get()->*getter)(text.Receive()))) {
      return L"<unreadable>";
    }
    return std::wstring(text.View());
  }

  base::win::ScopedComInitializer com_;
  ComPtr<ITriggerCollection> triggers_;
  StandInLogonTrigger logon_stand_in_;
  StandInTrigger<IBootTrigger> boot_stand_in_{TASK_TRIGGER_BOOT, kBootTriggerIid};
};

TEST_F(TaskSchedulerV2TriggerTest, LogonAndBootTriggersCarryTheDelayAndTheLogonUser) {
  ASSERT_EQ(5, GetLogonTriggerDelayMinutes());  // The test product's configuration.
  ScheduledTaskInfo info;
  info.kind = ScheduledTaskInfo::KIND_DAILY;
  info.logon_trigger = true;
  const std::wstring earliest = FormatTaskTime(GetLocalTimeFromNow(0));
  std::vector<ComPtr<ITrigger>> triggers = MakeTriggers(info, L"VM\\someone");
  const std::wstring latest = FormatTaskTime(GetLocalTimeFromNow(0));
  ASSERT_EQ(2u, triggers.size());
  ComPtr<IDailyTrigger> daily;
  ASSERT_HRESULT_SUCCEEDED(triggers[0].As(&daily));
  short days = 0;
  ASSERT_HRESULT_SUCCEEDED(daily->get_DaysInterval(&days));
  EXPECT_EQ(1, days);
  const std::wstring start = Read(triggers[0].Get(), IID_ITrigger, &ITrigger::get_StartBoundary);
  EXPECT_LE(earliest, start);
  EXPECT_GE(latest, start);
  EXPECT_EQ(L"PT5M", Read(triggers[1].Get(), kLogonTriggerIid, &ILogonTrigger::get_Delay));
  EXPECT_EQ(L"VM\\someone", Read(triggers[1].Get(), kLogonTriggerIid, &ILogonTrigger::get_UserId));

  // A system task starts at boot, after the same delay, whoever logs on.
  info.system_task = true;
  info.kind = ScheduledTaskInfo::KIND_NO_TIME_TRIGGER;
  triggers = MakeTriggers(info, L"SYSTEM");
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(L"PT5M", Read(triggers[0].Get(), kBootTriggerIid, &IBootTrigger::get_Delay));
}

// A run-once task has only its time trigger, a minute from now; the logon flag does not
// apply.
TEST(TaskSchedulerV2Test, RunOnceTasksHaveOnlyTheirTimeTrigger) {
  ScheduledTaskInfo info;
  info.kind = ScheduledTaskInfo::KIND_RUN_ONCE;
  info.logon_trigger = true;
  const std::wstring earliest = FormatTaskTime(GetLocalTimeFromNow(kRunOnceDelayMinutes));
  const std::vector<TaskSchedulerV2::TriggerSettings> triggers =
      TaskSchedulerV2::GetTriggerSettings(info, L"SYSTEM");
  const std::wstring latest = FormatTaskTime(GetLocalTimeFromNow(kRunOnceDelayMinutes));
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(TASK_TRIGGER_TIME, triggers[0].type);
  EXPECT_LE(earliest, triggers[0].start_boundary);
  EXPECT_GE(latest, triggers[0].start_boundary);

  info.kind = ScheduledTaskInfo::KIND_NO_TIME_TRIGGER;
  info.logon_trigger = false;
  EXPECT_TRUE(TaskSchedulerV2::GetTriggerSettings(info, L"SYSTEM").empty());
}

TEST(TaskSchedulerUtilTest, DurationsAndArguments) {
  uint64_t seconds = 0;
  EXPECT_TRUE(ParseDurationSeconds(L"PT3600S", &seconds));
  EXPECT_EQ(3600u, seconds);
  EXPECT_TRUE(ParseDurationSeconds(L"P1DT1H2M3S", &seconds));
  EXPECT_EQ(86400u + 3723u, seconds);
  EXPECT_TRUE(ParseDurationSeconds(L"PT0S", &seconds));
  EXPECT_EQ(0u, seconds);
  for (const wchar_t* bad : {L"", L"P", L"PT", L"T1S", L"PT1D", L"P1H", L"PT5", L"PTS", L"PT1X",
                             L"PT99999999999999999999S"}) {
    EXPECT_FALSE(ParseDurationSeconds(bad, &seconds)) << bad;
  }
  EXPECT_EQ(L"PT3600S", FormatDurationSeconds(3600));
  EXPECT_EQ(L"PT5M", FormatDurationMinutes(5));
  SYSTEMTIME time = {2024, 3, 0, 7, 9, 5, 1, 0};
  EXPECT_EQ(L"2024-03-07T09:05:01", FormatTaskTime(time));

  base::CommandLine command_line(base::FilePath(L"C:\\Program Files\\Tavro\\launcher.exe"));
  command_line.AppendSwitch("scheduledautoupdate");
  command_line.AppendArgNative(L"a b");
  EXPECT_EQ(L"--scheduledautoupdate \"a b\"", GetCommandLineArguments(command_line));
  const base::CommandLine rebuilt =
      MakeCommandLine(L"C:\\Program Files\\Tavro\\launcher.exe", L"--scheduledautoupdate \"a b\"");
  EXPECT_EQ(command_line.GetCommandLineString(), rebuilt.GetCommandLineString());
  EXPECT_EQ(L"", GetCommandLineArguments(base::CommandLine(base::FilePath(L"x.exe"))));
}

}  // namespace
}  // namespace installer
