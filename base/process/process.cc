#include "base/process/process.h"

#include <utility>

#include "base/debug/program_counter.h"
#include "base/logging.h"
#include "base/metrics/activity_tracker.h"

namespace base {

Process::Process(HANDLE handle) : process_(handle) {
  if (process_.IsValid())
    pid_ = ::GetProcessId(process_.Get());
}

Process::Process(Process&& other) noexcept
    : process_(std::move(other.process_)), pid_(other.pid_) {
  other.pid_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    process_ = std::move(other.process_);
    pid_ = other.pid_;
    other.pid_ = 0;
  }
  return *this;
}

Process::~Process() = default;

// static
Process Process::Open(DWORD pid, DWORD access) {
  Process process(::OpenProcess(access, FALSE, pid));
  if (!process.IsValid()) {
    PLOG(WARNING) << "OpenProcess failed for process " << pid;
    return Process();
  }
  process.pid_ = pid;
  return process;
}

DWORD Process::Pid() const {
  return IsValid() ? pid_ : 0;
}

bool Process::WaitForExit(DWORD* exit_code) const {
  return WaitForExitWithTimeout(INFINITE, exit_code);
}

bool Process::WaitForExitWithTimeout(DWORD milliseconds, DWORD* exit_code) const {
  if (!IsValid())
    return false;
  DWORD result = WAIT_FAILED;
  {
    ScopedActivity activity = ScopedActivity::ForProcessWait(debug::GetProgramCounter(), *this);
    result = ::WaitForSingleObject(process_.Get(), milliseconds);
  }
  if (result != WAIT_OBJECT_0) {
    if (result == WAIT_FAILED)
      PLOG(ERROR) << "Waiting for process " << pid_ << " failed";
    return false;
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(process_.Get(), &code)) {
    PLOG(ERROR) << "GetExitCodeProcess failed for process " << pid_;
    return false;
  }
  if (exit_code)
    *exit_code = code;
  return true;
}

bool Process::Terminate(DWORD exit_code) const {
  if (!IsValid())
    return false;
  if (::TerminateProcess(process_.Get(), exit_code))
    return true;
  const DWORD error = ::GetLastError();
  // Ending a process that has already ended fails with access denied.
  if (::WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0)
    return true;
  ELOG(ERROR, error) << "TerminateProcess failed for process " << pid_;
  return false;
}

void Process::Close() {
  process_.Close();
  pid_ = 0;
}

bool GetProcessCreationTime(HANDLE process, uint64_t* creation_time) {
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user))
    return false;
  *creation_time = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  return true;
}

bool IsProcessRunning(DWORD pid, uint64_t creation_time) {
  const HANDLE opened =
      ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  const DWORD error = ::GetLastError();
  const win::ScopedHandle process(opened);
  if (!process.IsValid()) {
    // No process has that id (the system calls it an invalid parameter).
    if (error == ERROR_INVALID_PARAMETER)
      return false;
    ELOG(WARNING, error) << "Cannot examine process " << pid << ": taken to run";
    return true;
  }
  if (::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0)
    return false;
  if (creation_time == 0)
    return true;
  uint64_t started = 0;
  if (!GetProcessCreationTime(process.Get(), &started)) {
    PLOG(WARNING) << "Cannot tell when process " << pid << " started: taken to run";
    return true;
  }
  // Otherwise the id was given again to a later process.
  return started == creation_time;
}

}  // namespace base
