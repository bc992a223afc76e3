#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOGGER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOGGER_H_

#include <sstream>
#include <string>

#include "base/files/file_path.h"

namespace crash_reporter {

// Logging of a crash reporter process: appends to "<temp>\<product>_crashreporter.log"
// (the system debug log without a temporary folder), every line prefix on, INFO and
// above, and the capture below installed.
void InitCrashReporterLogging();

// Captures the log lines of its thread while it lives (installed by
// InitCrashReporterLogging), so that the lines logged while one crash is handled can go
// into that crash's log. Lives on the stack of one crash-handling call; loggers nest.
class CrashLogger {
 public:
  CrashLogger();
  CrashLogger(const CrashLogger&) = delete;
  CrashLogger& operator=(const CrashLogger&) = delete;
  ~CrashLogger();

  // Appends "\nCrash Logger:\n" and the captured lines to |path| and forgets them; true
  // when there was nothing to append. False when the file cannot be written whole.
  bool AppendTo(const base::FilePath& path);

  // The capture handler; true when the calling thread has a logger that took the line.
  static bool CaptureLine(int severity,
                          const char* file,
                          int line,
                          size_t message_start,
                          const std::string& text);

 private:
  std::ostringstream captured_;
  CrashLogger* const previous_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOGGER_H_
