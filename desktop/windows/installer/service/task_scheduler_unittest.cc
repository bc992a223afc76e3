#include "desktop/windows/installer/service/task_scheduler.h"

#include <windows.h>
#include <mstask.h>
#include <wrl/client.h>

#include <algorithm>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/rand_util.h"
#include "base/strings/stringprintf.h"
#include "base/win/scoped_co_mem.h"
#include "base/win/scoped_com_initializer.h"
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
  ASSERT_TRUE(scheduler_->RegisterTask(once));
  ASSERT_TRUE(scheduler_->RegisterTask(user_logon));
  ASSERT_TRUE(scheduler_->RegisterTask(system_boot));

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

// Wine's Task Scheduler 2.0 cannot make time, logon or boot triggers, so what the 2.0 back
// end sets on them is read from the settings it applies.
TEST(TaskSchedulerV2Test, LogonAndBootTriggersCarryTheDelayAndTheLogonUser) {
  ASSERT_EQ(5, GetLogonTriggerDelayMinutes());  // The test product's configuration.
  ScheduledTaskInfo info;
  info.kind = ScheduledTaskInfo::KIND_DAILY;
  info.logon_trigger = true;
  std::vector<TaskSchedulerV2::TriggerSettings> triggers =
      TaskSchedulerV2::GetTriggerSettings(info, L"VM\\someone");
  ASSERT_EQ(2u, triggers.size());
  EXPECT_EQ(TASK_TRIGGER_DAILY, triggers[0].type);
  EXPECT_EQ(1, triggers[0].days_interval);
  EXPECT_EQ(19u, triggers[0].start_boundary.size()) << triggers[0].start_boundary;
  EXPECT_TRUE(triggers[0].delay.empty());
  EXPECT_EQ(TASK_TRIGGER_LOGON, triggers[1].type);
  EXPECT_EQ(L"PT5M", triggers[1].delay);
  EXPECT_EQ(L"VM\\someone", triggers[1].user_id);
  EXPECT_TRUE(triggers[1].start_boundary.empty());

  // A system task starts at boot, after the same delay, whoever logs on.
  info.system_task = true;
  info.kind = ScheduledTaskInfo::KIND_NO_TIME_TRIGGER;
  triggers = TaskSchedulerV2::GetTriggerSettings(info, L"SYSTEM");
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(TASK_TRIGGER_BOOT, triggers[0].type);
  EXPECT_EQ(L"PT5M", triggers[0].delay);
  EXPECT_TRUE(triggers[0].user_id.empty());

  // A run-once task has only its time trigger, a minute from now.
  info.kind = ScheduledTaskInfo::KIND_RUN_ONCE;
  const std::wstring earliest = FormatTaskTime(GetLocalTimeFromNow(kRunOnceDelayMinutes));
  triggers = TaskSchedulerV2::GetTriggerSettings(info, L"SYSTEM");
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
