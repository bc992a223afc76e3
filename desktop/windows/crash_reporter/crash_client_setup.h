#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_SETUP_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_SETUP_H_

#include <windows.h>

#include <memory>
#include <string>

#include "base/process/process.h"
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

// Finds the reporter named by "crash-reporter-pid" or starts one, and holds it
// (HoldCrashReporter; 0 stored as its id when there is none). Whether there is a reporter.
bool EnsureCrashReporter();

// Keeps a handle of |reporter|, the crash reporter that serves this process, until the
// process ends, and stores its id (SetCrashReporterPid): while the handle is held, the id
// names no other process, and only that process's pipe is used. An invalid one stores 0.
void HoldCrashReporter(base::Process reporter);

// "crash-reporter-pid" as an unsigned decimal; 0 when absent or not a number.
DWORD GetCrashReporterPidFromCommandLine();
DWORD GetCrashReporterPidFromCommandLine(const base::CommandLine& command_line);

// Starts a crash reporter and returns it once it is ready; invalid when it cannot be
// started, ends or does not get ready within 2 s.
base::Process LaunchCrashReporter();

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
// it to get ready or to end. |reporter| gets it when ready. The event by which it says so is
// made with an access list of the user, SYSTEM and Administrators; one of that name made
// first by anyone else who could set it is refused (kFailed, logged with its name).
ReporterStart StartCrashReporter(const base::CommandLine& command_line,
                                 DWORD timeout_ms,
                                 base::Process* reporter);

// Installs the process's crash handler on the pipe of the held reporter; does nothing
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
