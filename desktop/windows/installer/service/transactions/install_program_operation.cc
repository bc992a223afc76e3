#include "desktop/windows/installer/service/transactions/install_program_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/values.h"
#include "desktop/windows/installer/service/signed_program.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

InstallProgramOperation::InstallProgramOperation(const base::CommandLine& install,
                                                 const base::CommandLine& undo,
                                                 const base::FilePath& folder,
                                                 base::TimeDelta limit)
    : install_(install), undo_(undo), folder_(folder), limit_(limit) {}

InstallProgramOperation::~InstallProgramOperation() = default;

bool InstallProgramOperation::Do() {
  folder_is_new_ = !base::PathExists(folder_);
  if (folder_is_new_ && (!Journal(*undo_record::FolderCreated(folder_)) ||
                         !Journal(*undo_record::ProgramRun(undo_)))) {
    return false;
  }
  const base::Process process = base::LaunchProcess(install_, base::LaunchOptions());
  if (!process.IsValid()) {
    LOG(ERROR) << "Cannot run " << install_.GetCommandLineString();
    return false;
  }
  started_ = true;
  if (process.WaitForExitWithTimeout(static_cast<DWORD>(limit_.InMilliseconds()), &exit_code_))
    return true;
  LOG(ERROR) << install_.GetProgram() << " did not end within " << limit_.InSeconds()
             << " seconds: ending it";
  if (!process.Terminate(1))
    PLOG(ERROR) << "Cannot end " << install_.GetProgram();
  // Ended, it lets go of what it had open.
  process.WaitForExitWithTimeout(static_cast<DWORD>(limit_.InMilliseconds()), nullptr);
  return false;
}

void InstallProgramOperation::Rollback() {
  if (!started_ || !folder_is_new_)
    return;
  started_ = false;
  if (base::PathExists(undo_.GetProgram())) {
    DWORD exit_code = 0;
    if (RunSignedProgram(undo_, limit_, &exit_code) && exit_code != 0)
      LOG(WARNING) << undo_.GetProgram() << " ended with " << exit_code;
  }
  if (folder_is_new_ && !base::DeletePath(folder_, true))
    LOG(ERROR) << "Cannot remove " << folder_;
}

}  // namespace installer
