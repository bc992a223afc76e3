#include "desktop/windows/installer/service/limited_process.h"

#include "base/logging.h"
#include "base/process/launch.h"
#include "base/win/windows_version.h"

namespace installer {

namespace {

// A job whose end ends its processes; closing it ends nothing. Invalid when the system
// gives none, or cannot take a child of this process into it: before Windows 8 a process
// that is in a job already (as every child of a process in a job is) joins no other.
base::win::ScopedHandle MakeJob() {
  BOOL in_job = FALSE;
  if (base::win::GetWindowsVersion() < base::win::VERSION_WIN8 &&
      (!::IsProcessInJob(::GetCurrentProcess(), nullptr, &in_job) || in_job)) {
    VLOG(1) << "Programs run without a job of their own: jobs do not nest here";
    return base::win::ScopedHandle();
  }
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

LimitedProcess::LimitedProcess() = default;

LimitedProcess::~LimitedProcess() = default;

bool LimitedProcess::Start(const base::CommandLine& command_line) {
  program_ = command_line.GetProgram();
  job_ = MakeJob();
  base::LaunchOptions options;
  options.job_handle = job_.Get();
  process_ = base::LaunchProcess(command_line, options);
  if (!process_.IsValid()) {
    LOG(ERROR) << "Cannot run " << command_line.GetCommandLineString();
    return false;
  }
  return true;
}

bool LimitedProcess::WaitForExit(base::TimeDelta limit, DWORD* exit_code) {
  const DWORD limit_ms = static_cast<DWORD>(limit.InMilliseconds());
  if (process_.WaitForExitWithTimeout(limit_ms, exit_code))
    return true;
  LOG(ERROR) << program_ << " did not end within " << limit.InSeconds() << " seconds: ending it";
  const bool ended =
      job_.IsValid() ? ::TerminateJobObject(job_.Get(), 1) != FALSE : process_.Terminate(1);
  if (!ended)
    PLOG(ERROR) << "Cannot end " << program_;
  process_.WaitForExitWithTimeout(limit_ms, nullptr);
  return false;
}

}  // namespace installer
