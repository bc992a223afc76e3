#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_MAIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_MAIN_H_

#include <windows.h>
#include <stdint.h>

#include <string>

// The two roles of a crash reporter process, a copy of the installer started with
// "crash-reporter-parent-id" (RunInstaller runs one of them after
// InstallCrashReporterHandlers, and nothing else):
// - the crash server of its parent installer process: it serves the crash pipe, writes a
//   text crash log (and, with alternative crash logging, a minidump) for each dump request
//   of a client, counts the crash, asks the crash server about it and uploads the files;
//   it ends once the parent has ended and every request and upload is done;
// - with "crash-reporter-exception-info", the child that reports a crash of a crash
//   reporter, at most once in 3 days per user.

namespace crash_reporter {

class CrashClientRecord;
class CrashCountStore;

// What the dump callback needs of the crash server.
struct CrashServerContext {
  CrashCountStore* counts = nullptr;  // Null when nothing provides a crash counts file.
  bool keep_logs = false;
};

// Serves until the parent has ended and every request is done: 0 then; -1 when the
// server cannot start (the parent then runs without a reporter).
int RunCrashServer();

// Reports the crash of the crash reporter named by "crash-reporter-parent-id".
void RunExceptionInfoReporter();

// The dump callback of the crash server: one dump request of |client|.
void OnClientDumpRequest(void* context, CrashClientRecord* client, const std::wstring* dump_path);

// "crash-reporter-parent-id" as a 32-bit decimal.
bool GetParentPidFromCommandLine(DWORD* pid);
// "crash-reporter-exception-info" as a 64-bit decimal.
bool GetExceptionInfoAddressFromCommandLine(uint64_t* address);
// Whether the user asked to keep the crash files after upload ("<PRODUCT>_CRASH_KEEP_LOGS").
bool ShouldKeepLogs(bool default_value);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_MAIN_H_
