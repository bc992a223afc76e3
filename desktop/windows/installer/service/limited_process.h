#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_LIMITED_PROCESS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_LIMITED_PROCESS_H_

#include <windows.h>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/process/process.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace installer {

// A program that the installer runs and waits for a limited time (a component's installer
// or uninstaller). It runs in a job of its own, so that ending it at the limit also ends
// the processes it started, which would otherwise go on writing where the installer is
// about to clean up. Closing the job ends nothing, and a process that asks may break away.
// Where there is no job (a system that cannot nest jobs, for a process in a job already),
// the program runs without one and only it is ended.
class LimitedProcess {
 public:
  LimitedProcess();
  LimitedProcess(const LimitedProcess&) = delete;
  LimitedProcess& operator=(const LimitedProcess&) = delete;
  ~LimitedProcess();

  // Starts |command_line|; false, logged, when it cannot be started.
  bool Start(const base::CommandLine& command_line);

  // Waits for the program to end, |limit| at most. True with its exit code when it ended
  // in time; otherwise the program and what it started are ended, waited for as long again
  // (so that they let go of what they had open), and the result is false.
  bool WaitForExit(base::TimeDelta limit, DWORD* exit_code);

 private:
  base::FilePath program_;
  base::win::ScopedHandle job_;
  base::Process process_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_LIMITED_PROCESS_H_
