#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_CRASH_REPORTER_PID_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_CRASH_REPORTER_PID_H_

#include <stdint.h>

namespace installer {

// The process id of the crash reporter that serves this process, process-wide; 0 when
// there is none. Safe to use from any thread.
void SetCrashReporterPid(uint32_t pid);
uint32_t GetCrashReporterPid();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_CRASH_REPORTER_PID_H_
