#include "desktop/windows/installer/service/transactions/install_program_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/signed_program.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

namespace {

// A job for a program and what it starts; invalid, logged, when there is none. Ending the
// job ends them all. Closing it ends nothing, and a process that asks may break away.
base::win::ScopedHandle MakeJob() {
  base::win::ScopedHandle job(::CreateJobObjectW(nullptr, nullptr));
  if (!job.IsValid()) {
    PLOG(WARNING) << "Cannot create a job";
    return job;
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  if (!::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof(limits))) {
    PLOG(WARNING) << "Cannot set the limits of a job";
    return base::win::ScopedHandle();
  }
  return job;
}

}  // namespace

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
  // The program runs in a job of its own, so that ending it at the limit also ends what it
  // started, which would otherwise go on writing into the folder that the undo removes.
  base::win::ScopedHandle job = MakeJob();
  base::LaunchOptions options;
  options.job_handle = job.Get();
  base::Process process = base::LaunchProcess(install_, options);
  if (!process.IsValid() && job.IsValid()) {
    // A system that cannot nest jobs refuses one for a process that is in a job already;
    // the program never ran.
    LOG(WARNING) << "Running " << install_.GetProgram() << " without a job of its own";
    job.Close();
    process = base::LaunchProcess(install_, base::LaunchOptions());
  }
  if (!process.IsValid()) {
    LOG(ERROR) << "Cannot run " << install_.GetCommandLineString();
    return false;
  }
  started_ = true;
  if (process.WaitForExitWithTimeout(static_cast<DWORD>(limit_.InMilliseconds()), &exit_code_))
    return true;
  LOG(ERROR) << install_.GetProgram() << " did not end within " << limit_.InSeconds()
             << " seconds: ending it";
  const bool ended =
      job.IsValid() ? ::TerminateJobObject(job.Get(), 1) != FALSE : process.Terminate(1);
  if (!ended)
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
