#include "desktop/windows/installer/service/transactions/delete_task_operation.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

#include "base/environment.h"
#include "base/files/file_util.h"
#include "base/rand_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/values.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/service/transactions/undo_journal.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// What the test tells the run it kills: the installation and the task it deletes.
constexpr char kFolderVariable[] = "TAVRO_TEST_TASK_FOLDER";
constexpr char kTaskVariable[] = "TAVRO_TEST_TASK_NAME";

std::wstring GetVar(const char* name) {
  std::string value;
  base::Environment::Create()->GetVar(name, &value);
  return base::Utf8ToUtf16(value);
}

std::unique_ptr<TaskScheduler> MakeScheduler() {
  std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
  return scheduler && scheduler->Init() ? std::move(scheduler) : nullptr;
}

// An uninstallation that deletes the autoupdate task of the installation, then ends as a
// crash would end it, without rolling back or committing.
TEST(DeleteTaskOperationChildTest, DISABLED_DeletionThatIsKilled) {
  if (!base::test::IsChildTest())
    return;
  const base::win::ScopedComInitializer com;
  UndoJournal::OpenResult opened = UndoJournal::OpenResult::kFailed;
  std::unique_ptr<UndoJournal> journal = UndoJournal::OpenForRun(
      base::FilePath(GetVar(kFolderVariable)), base::TimeDelta(), {}, &opened);
  ASSERT_EQ(UndoJournal::OpenResult::kOpened, opened);
  auto* transaction = new Transaction;  // Never destroyed: the process is killed.
  transaction->AttachJournal(std::move(journal));
  ASSERT_TRUE(transaction->Do(
      std::make_unique<DeleteTaskOperation>(GetVar(kTaskVariable), &MakeScheduler)));
  ::TerminateProcess(::GetCurrentProcess(), 1);
}

// An installation with its launcher and its autoupdate task, deleted after the test.
class DeleteTaskOperationTest : public test::TempFolderTest {
 protected:
  void SetUp() override {
    test::TempFolderTest::SetUp();
    ASSERT_TRUE(com_.Succeeded());
    Write(L"install\\launcher.exe", "launcher");
    scheduler_ = MakeScheduler();
    ASSERT_TRUE(scheduler_);
    task_ = MakeTask(Path(L"install\\launcher.exe"));
    ASSERT_TRUE(scheduler_->RegisterTask(task_));
  }

  void TearDown() override {
    if (scheduler_)
      scheduler_->DeleteTask(task_.name);
  }

  ScheduledTaskInfo MakeTask(const base::FilePath& program) const {
    ScheduledTaskInfo info;
    info.command_line = base::CommandLine(program);
    info.command_line.AppendSwitch("scheduledautoupdate");
    info.command_line.AppendArgNative(L"$(Arg0)");
    info.name = std::wstring(kAutoupdateTaskNamePrefix) +
                base::WideStringPrintf(L"test-%016llx",
                                       static_cast<unsigned long long>(base::RandUint64()));
    info.time_limit_seconds = 3600;
    // As the installer makes it: daily and at the user's logon.
    info.kind = ScheduledTaskInfo::KIND_DAILY;
    info.logon_trigger = true;
    info.run_only_with_network = true;
    return info;
  }

  // The program of the registered task |name|; empty when there is none.
  std::wstring RegisteredProgram(const std::wstring& name) const {
    ScheduledTaskInfo read;
    if (!scheduler_->IsTaskRegistered(name) || !scheduler_->GetTaskInfo(name, &read))
      return std::wstring();
    return read.command_line.GetProgram().value();
  }

  base::win::ScopedComInitializer com_;
  std::unique_ptr<TaskScheduler> scheduler_;
  ScheduledTaskInfo task_;
};

// A run that deleted the task and was then killed: the next run takes the task back up with
// the rest of what the killed run did.
TEST_F(DeleteTaskOperationTest, AKilledRunsDeletionIsUndoneByTheNextRun) {
  base::LaunchOptions options;
  options.environment = {{base::Utf8ToUtf16(kFolderVariable), Path(L"install").value()},
                         {base::Utf8ToUtf16(kTaskVariable), task_.name}};
  const base::test::ChildTestResult run = base::test::RunChildTest(
      "DeleteTaskOperationChildTest.DISABLED_DeletionThatIsKilled", options);
  ASSERT_TRUE(run.started);
  ASSERT_EQ(1u, run.exit_code) << run.output;
  ASSERT_TRUE(HasUndoJournal(Path(L"install")));
  ASSERT_FALSE(scheduler_->IsTaskRegistered(task_.name));

  EXPECT_EQ(RecoveryResult::kRecovered, RecoverInterruptedRun(Path(L"install"), {}));
  EXPECT_EQ(task_.command_line.GetProgram().value(), RegisteredProgram(task_.name));
  ScheduledTaskInfo read;
  ASSERT_TRUE(scheduler_->GetTaskInfo(task_.name, &read));
  EXPECT_EQ(task_.command_line.GetCommandLineString(), read.command_line.GetCommandLineString());
  EXPECT_EQ(task_.kind, read.kind);
}

// Rolled back in the same run, the task is back; committed, it stays deleted. A journal's
// record that would register a task of a program outside the installation, or a task that
// is not an autoupdate task, is refused.
TEST_F(DeleteTaskOperationTest, RollbackBringsTheTaskBackAndForeignRecordsAreRefused) {
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.Do(std::make_unique<DeleteTaskOperation>(task_.name, &MakeScheduler)));
    EXPECT_FALSE(scheduler_->IsTaskRegistered(task_.name));
    transaction.Rollback();
    EXPECT_EQ(task_.command_line.GetProgram().value(), RegisteredProgram(task_.name));
    ASSERT_TRUE(transaction.Do(std::make_unique<DeleteTaskOperation>(task_.name, &MakeScheduler)));
  }
  EXPECT_FALSE(scheduler_->IsTaskRegistered(task_.name));

  Write(L"elsewhere\\launcher.exe", "other");
  const undo_record::UndoScope scope = undo_record::UndoScope::ForFolder(Path(L"install"), {});
  ScheduledTaskInfo outside = task_;
  outside.command_line = MakeTask(Path(L"elsewhere\\launcher.exe")).command_line;
  EXPECT_EQ(undo_record::UndoResult::kRefused,
            undo_record::Undo(*undo_record::TaskDeleted(outside), scope));
  ScheduledTaskInfo foreign = task_;
  foreign.name = L"Other " + task_.name;
  EXPECT_EQ(undo_record::UndoResult::kRefused,
            undo_record::Undo(*undo_record::TaskDeleted(foreign), scope));
  EXPECT_FALSE(scheduler_->IsTaskRegistered(task_.name));
  EXPECT_FALSE(scheduler_->IsTaskRegistered(foreign.name));
}

}  // namespace
}  // namespace installer
