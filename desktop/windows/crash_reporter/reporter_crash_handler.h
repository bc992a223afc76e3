#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_REPORTER_CRASH_HANDLER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_REPORTER_CRASH_HANDLER_H_

#include <windows.h>
#include <stdint.h>

#include <string>

#include "base/files/file_path.h"

// The crash handling of a crash reporter process itself. It cannot ask a reporter for help,
// so a crash is described in a ClientExceptionRecord of its own memory and reported by a
// child: another copy of this program started with "crash-reporter-exception-info" (the
// record's address), which reads the crashed reporter from outside and sets the exception
// event when it has read what it needs; the crashed reporter then ends.

namespace crash_reporter {

// Once per process: the unhandled-exception filter and the C runtime's invalid-parameter
// and pure-call handlers of a crash reporter. Only the first crashing thread is reported;
// later ones suspend themselves.
void InstallCrashReporterHandlers();

// Once per process: makes the exception event and the child's command line ("minidump":
// the child writes the crash log with an embedded minidump). Until this succeeds a crash
// is not reported.
void PrepareExceptionInfoChild(bool minidump);

// Starts the prepared child and waits at most 20 s for its exception event.
void LaunchExceptionInfoChild();

// "TavroCrashReporterException" and |pid|: the manual-reset event by which the child
// releases crashed reporter |pid|.
std::wstring MakeExceptionEventName(DWORD pid);
// Sets that event of crashed reporter |pid| (creating it when it does not exist).
void SignalExceptionEvent(DWORD pid);

// The path of this process's executable; false when it is empty or longer than 259
// characters.
bool GetOwnExecutablePath(base::FilePath* path);

// The child runs |program| instead of this process's executable (for test programs, whose
// own executable would run their tests). Call before PrepareExceptionInfoChild.
void SetExceptionInfoChildProgramForTesting(const base::FilePath& program);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_REPORTER_CRASH_HANDLER_H_
