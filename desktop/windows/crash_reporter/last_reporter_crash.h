#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_LAST_REPORTER_CRASH_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_LAST_REPORTER_CRASH_H_

#include <windows.h>
#include <stdint.h>

// When a crash of a crash reporter was last reported for this user: the REG_QWORD
// "Last crash in crash reporter" (a FILETIME in UTC) under the company key of
// HKEY_CURRENT_USER. Such reports are sent at most once in kDaysBetweenReporterCrashReports.

namespace crash_reporter {

inline constexpr uint64_t kDaysBetweenReporterCrashReports = 3;
inline constexpr wchar_t kLastReporterCrashValue[] = L"Last crash in crash reporter";

// Whole days since the last report, the value made (as 0, long ago) when missing. False,
// with an error logged, when the key cannot be used, the value is not 8 bytes, or it lies
// in the future.
bool GetDaysSinceLastReporterCrash(uint64_t* days);

// Stores |utc_time| as the time of the last report; false (logged) on failure.
bool RecordLastReporterCrash(const SYSTEMTIME& utc_time);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_LAST_REPORTER_CRASH_H_
