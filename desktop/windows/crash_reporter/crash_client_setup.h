#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_SETUP_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_SETUP_H_

#include <windows.h>

#include <memory>
#include <string>

#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"

namespace base {
class CommandLine;
}

// Crash handling of every installer process other than the crash reporter: at start-up
// RunInstaller calls DisableCallbackExceptionFiltering, EnsureCrashReporter, AttachCrashHandler
// (when there is a reporter) and FillCrashKeys, in this order, on the main thread. Each step
// degrades to running without crash reporting; none is reported to the user.

namespace crash_reporter {

class CrashHandler;

// Lets exceptions escape window procedures called back from the system, where the system
// would otherwise swallow them. Does nothing where the system has no such policy.
void DisableCallbackExceptionFiltering();

// Finds the reporter named by "crash-reporter-pid" or starts one, and stores its process
// id (SetCrashReporterPid, 0 when none). Whether there is a reporter.
bool EnsureCrashReporter();

// "crash-reporter-pid" as an unsigned decimal; 0 when absent or not a number.
DWORD GetCrashReporterPidFromCommandLine();
DWORD GetCrashReporterPidFromCommandLine(const base::CommandLine& command_line);

// Starts a crash reporter and returns its process id once it is ready; 0 when it cannot be
// started, ends or does not get ready within 2 s.
DWORD LaunchCrashReporter();

// This process's own program, switches and arguments, with "crash-reporter-parent-id" set to
// this process's id.
std::unique_ptr<base::CommandLine> MakeCrashReporterCommandLine();

// How the start of a reporter ended.
enum class ReporterStart {
  kReady,     // The reporter set its init event: it serves its pipe.
  kEnded,     // The reporter process ended first.
  kTimedOut,  // Neither within the time limit.
  kFailed,    // It could not be started or waited for.
};
// Starts |command_line| as the reporter of this process and waits at most |timeout_ms| for
// it to get ready or to end. |reporter_pid| gets its id when ready.
ReporterStart StartCrashReporter(const base::CommandLine& command_line,
                                 DWORD timeout_ms,
                                 DWORD* reporter_pid);

// Installs the process's crash handler on the pipe of the stored reporter; does nothing
// without a reporter or when a handler exists. The handler is kept only when the reporter's
// dump server registered it; it then also guards the window procedures.
void AttachCrashHandler();
// The installed handler, or null.
CrashHandler* GetCrashHandler();

// Fills the crash keys of this process: process type, test and origin values of the
// environment, and the module list.
void FillCrashKeys();

// The handler's filter: only the first crashing thread gets a dump; every later one waits
// for the process to end.
bool FirstCrashFilter(void* context,
                      EXCEPTION_POINTERS* exception_pointers,
                      AssertionInfo* assertion);

// The filter of exceptions escaping window procedures: has the installed handler write a
// dump and ends the process with exit code 1. Never returns.
int DumpAndTerminate(EXCEPTION_POINTERS* exception_pointers);

// "name:base:size:path::" for each of the executable, the browser's libraries and the
// system libraries that are loaded.
std::wstring BuildModuleList();

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_SETUP_H_
