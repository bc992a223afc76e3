#include "desktop/windows/installer/service/transactions/install_program_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/values.h"
#include "desktop/windows/installer/service/limited_process.h"
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
    LOG(ERROR) << "Not running " << install_.GetProgram()
               << ": its undo could not be journalled";
    return false;
  }
  LimitedProcess process;
  if (!process.Start(install_))
    return false;
  started_ = true;
  return process.WaitForExit(limit_, &exit_code_);
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
