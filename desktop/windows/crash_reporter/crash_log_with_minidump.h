#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_WITH_MINIDUMP_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_WITH_MINIDUMP_H_

#include <windows.h>
#include <stdint.h>

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/crash_log_info.h"

namespace crash_reporter {

// Writes the crash log that carries a minidump (read by the crash server), for a crashed
// process whose ClientExceptionRecord lies at |record_address| in it: a two-line header
// (product, process name, exception), the metadata of |info| when there is any, then
// "minidump:" and the raw dump (at most |size_limit| bytes) to the end of the file. CR LF
// line ends. False, with no file left at |output_path|, on any failure.
bool WriteCrashLogWithMinidump(DWORD pid,
                               uint64_t record_address,
                               const base::FilePath& output_path,
                               uint64_t size_limit,
                               const CrashLogInfo& info);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_WITH_MINIDUMP_H_
