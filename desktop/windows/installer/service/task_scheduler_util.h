#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_UTIL_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <string_view>

#include "base/command_line.h"

// What both task scheduler back ends need.
namespace installer {

// How long after registration a run-once task starts.
constexpr int kRunOnceDelayMinutes = 1;

// The text of the arguments of |command_line|: what follows the (quoted) program.
std::wstring GetCommandLineArguments(const base::CommandLine& command_line);

// The command line of |program| followed by the argument text |arguments|.
base::CommandLine MakeCommandLine(const std::wstring& program, const std::wstring& arguments);

// The product configuration's "scheduled_autoupdate_delay_min", never negative.
int GetLogonTriggerDelayMinutes();

// Whether |hr| says that the task (or its folder) does not exist.
bool IsTaskNotFound(HRESULT hr);

// The local time |minutes| from now.
SYSTEMTIME GetLocalTimeFromNow(int minutes);

// "YYYY-MM-DDTHH:MM:SS" (a local time without zone, as Task Scheduler 2.0 takes it).
std::wstring FormatTaskTime(const SYSTEMTIME& time);

// "PT<n>S" and "PT<n>M" (ISO 8601 durations).
std::wstring FormatDurationSeconds(uint32_t seconds);
std::wstring FormatDurationMinutes(int minutes);

// The length of an ISO 8601 duration "P[nD][T[nH][nM][nS]]" in seconds (weeks, months and
// years are not used by the task scheduler for these fields). False when malformed.
bool ParseDurationSeconds(std::wstring_view duration, uint64_t* seconds);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_UTIL_H_
