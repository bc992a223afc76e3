#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_FLAGS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_FLAGS_H_

#include "base/files/file_path.h"

namespace base {
class CommandLine;
}

namespace crash_reporter {

// The two switches of a crash reporter: whether it reports at all (a browser preference),
// and whether it also writes and sends minidumps to the alternative crash collector (a
// browser feature: its default for this build, then a "with-feature:" switch, then the
// preference file, where the feature may be overridden). Read once when a reporter
// starts, before any crash is handled; read-only afterwards.
class CrashReporterFlags {
 public:
  CrashReporterFlags() = delete;

  // Reads the flags from the process's command line and the browser preference file at
  // |preferences_path| (a missing or unreadable file changes nothing).
  static void Read(const base::FilePath& preferences_path);
  static void Read(const base::FilePath& preferences_path, const base::CommandLine& command_line);
};

bool IsReportingEnabled();
bool IsAlternativeCrashLoggingEnabled();

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_FLAGS_H_
